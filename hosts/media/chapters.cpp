#include "media/chapters.h"

#include <algorithm>

namespace drawlet::media {

std::vector<Chapter> chaptersOf(const AVFormatContext* file) {
    std::vector<Chapter> chapters;
    for (unsigned i = 0; i < file->nb_chapters; ++i) {
        const AVChapter* c = file->chapters[i];
        Chapter chapter{c->id, c->time_base, c->start, c->end, {}};
        const AVDictionaryEntry* tag = nullptr;
        while ((tag = av_dict_get(c->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)) != nullptr)
            chapter.tags.emplace_back(tag->key, tag->value);
        chapters.push_back(std::move(chapter));
    }
    return chapters;
}

std::vector<Chapter> cutChapters(const std::vector<Chapter>& chapters, const TimeSpan& span) {
    std::vector<Chapter> cut;
    for (Chapter c : chapters) {
        if (span.start) {
            const int64_t start = av_rescale_q(*span.start, span.timeBase, c.timeBase);
            if (c.end <= start) continue;
            c.start = std::max(c.start, start);
        }
        if (span.end) {
            const int64_t end = av_rescale_q(*span.end, span.timeBase, c.timeBase);
            if (c.start >= end) continue;
            c.end = std::min(c.end, end);
        }
        cut.push_back(std::move(c));
    }
    return cut;
}

void appendChapters(std::vector<Chapter>& chapters, const std::vector<Chapter>& more) {
    const std::size_t earlier = chapters.size();
    for (const Chapter& c : more) {
        // The same chapter, begun before: c is its rest, or all of it again.
        std::size_t i = 0;
        while (i < earlier &&
               !(chapters[i].tags == c.tags &&
                 av_compare_ts(chapters[i].start, chapters[i].timeBase, c.start, c.timeBase) <= 0 &&
                 av_compare_ts(c.start, c.timeBase, chapters[i].end, chapters[i].timeBase) <= 0))
            ++i;
        if (i == earlier) {
            chapters.push_back(c);
            continue;
        }
        Chapter& same = chapters[i];
        if (av_compare_ts(c.end, c.timeBase, same.end, same.timeBase) > 0)
            same.end = av_rescale_q(c.end, c.timeBase, same.timeBase);
    }
}

void writeChapters(AVFormatContext* file, const std::vector<Chapter>& chapters) {
    for (const Chapter& c : chapters) {
        // Freed with the context, as FFmpeg frees the chapters it reads.
        auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (chapter == nullptr) throw std::bad_alloc();
        chapter->id = c.id;
        chapter->time_base = c.timeBase;
        chapter->start = c.start;
        chapter->end = c.end;
        for (const auto& [key, value] : c.tags)
            av_dict_set(&chapter->metadata, key.c_str(), value.c_str(), 0);
        if (av_dynarray_add_nofree(&file->chapters, reinterpret_cast<int*>(&file->nb_chapters),
                                   chapter) < 0) {
            av_dict_free(&chapter->metadata);
            av_free(chapter);
            throw std::bad_alloc();
        }
    }
}

}  // namespace drawlet::media
