// One output file, written the same way by render and join: the container from the file's
// name (or a muxer name), a picture stream (from an encoder, or copied), every other stream
// of the source kept (copied where the container takes its codec, converted where FFmpeg
// can, else left out with a note naming it), tags and chapters; and the file removed when
// the muxer goes before it has finished.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media/av_util.h"
#include "media/chapters.h"
#include "media/part_tags.h"

namespace drawlet::media {

class Muxer {
  public:
    // Opens nothing yet: `path` ("-": standard output) is written from start(). Throws a
    // usage error naming `shownAs` when no container fits the name or `format`.
    Muxer(const std::string& path, const std::string& shownAs, const std::string& format,
          const StopFlag* stop);
    ~Muxer();
    Muxer(const Muxer&) = delete;
    Muxer& operator=(const Muxer&) = delete;

    const AVOutputFormat* container() const { return container_; }
    // Encoders must put their set-up apart from the packets: the container asks for it.
    bool wantsGlobalHeader() const;

    // The picture stream from an opened encoder, with the tags and disposition of `source`
    // (when not null) but no rotation: the pictures are written upright.
    void addVideo(const AVCodecContext* encoder, AVRational frameRate, const AVStream* source);
    // The picture stream copied as it is; throws when the container cannot hold its codec.
    void copyVideo(const AVStream* source);
    // Any other stream: packets given to writeKept() with its index go into it.
    void keep(const AVStream* source);

    // The global tags of `source` (not those of its old encoding, nor a part's), and `more`.
    void setTags(const AVDictionary* source, const Tags& more);
    // A tag whose value, a count, is known only when the file is complete (setCount()).
    // False where it cannot be written then: on a pipe, or in a container other than
    // Matroska, WebM, MP4 and MOV.
    bool reserveCountTag(const std::string& key);
    void setCount(long long count) { count_ = count; }
    // Chapters: given to a file at finish(), so they may change until then; on a pipe they
    // must be set before start().
    void setChapters(std::vector<Chapter> chapters) { chapters_ = std::move(chapters); }

    // Writes the header.
    void start();
    // A packet of the picture stream, with timestamps in `from`.
    void writeVideo(AVPacket* packet, AVRational from);
    // A packet of a stream given to keep() (packet->stream_index is its index there), with
    // timestamps in `from`; packets of other streams are dropped.
    void writeKept(AVPacket* packet, AVRational from);
    // Drains the converters, writes the index and closes the file.
    void finish();

    // One-line notes for the user: streams converted or left out.
    const std::vector<std::string>& notes() const { return notes_; }

  private:
    struct Kept;

    AVStream* newStream();
    bool copies(const AVStream* source, std::string& reason) const;
    void convert(Kept& kept, const AVStream* source);
    void attachPicture(Kept& kept, const AVStream* source);
    void write(Kept& kept, AVPacket* packet, AVRational from);
    void drainConverters();
    void writeReservedCount();

    std::string path_;
    std::string shownAs_;
    bool stdio_ = false;
    const AVOutputFormat* container_ = nullptr;
    OutputPtr out_;
    AVStream* video_ = nullptr;
    std::vector<std::unique_ptr<Kept>> kept_;
    std::string reservedKey_;
    long long count_ = -1;
    bool ownTags_ = false;  // tags beyond those the container names itself
    std::vector<Chapter> chapters_;
    bool opened_ = false;
    bool finished_ = false;
    std::vector<std::string> notes_;
};

}  // namespace drawlet::media
