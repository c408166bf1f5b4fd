#include "run/strict_json.h"

#include <fmt/format.h>

#include <unordered_set>
#include <utility>
#include <vector>

#include "kit/error.h"
#include "run/signals.h"

namespace drawlet::run {

namespace {

using Json = SettingsJson;

// Builds the document from the parser's events. Values are appended to their object's
// storage directly: the ordered map's own insertion searches every key before it, which is
// quadratic in the number of keys; duplicates are found by a hash set per object instead.
class StrictBuilder {
  public:
    explicit StrictBuilder(const std::string& where) : where_(where) {}

    Json take() { return std::move(root_); }

    bool null() { return put(Json(nullptr)) != nullptr; }
    bool boolean(bool v) { return put(Json(v)) != nullptr; }
    bool number_integer(Json::number_integer_t v) { return put(Json(v)) != nullptr; }
    bool number_unsigned(Json::number_unsigned_t v) { return put(Json(v)) != nullptr; }
    bool number_float(Json::number_float_t v, const std::string&) {
        return put(Json(v)) != nullptr;
    }
    bool string(std::string& v) { return put(Json(std::move(v))) != nullptr; }
    bool binary(Json::binary_t&) { return false; }  // not produced by JSON text

    bool start_object(std::size_t) { return open(Json::object()); }
    bool start_array(std::size_t) { return open(Json::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string& name) {
        tick();
        if (!keys_.back().insert(name).second)
            throw UsageError(fmt::format("{}: the key \"{}\" is given twice", where_, name));
        lastKey_ = name;
        pendingKey_ = std::move(name);
        return true;
    }

    bool parse_error(std::size_t byte, const std::string&, const nlohmann::detail::exception& e) {
        // A number beyond a double ("1e400") stops the parser in the value of the last key.
        if (e.id == 406) {
            const std::string what = e.what();
            const auto first = what.find('\''), last = what.rfind('\'');
            const std::string number =
                first < last ? what.substr(first + 1, last - first - 1) : "a number";
            throw UsageError(
                lastKey_.empty()
                    ? fmt::format("{}: {} is beyond the range of any setting", where_, number)
                    : fmt::format("{}: key \"{}\": {} is beyond the range of any "
                                  "setting",
                                  where_, lastKey_, number));
        }
        throw UsageError(fmt::format("{}: not valid JSON (byte {}): {}", where_, byte, e.what()));
    }

  private:
    // Polls the stop flag now and then, so that Ctrl-C ends even a long parse at once.
    void tick() {
        if (++events_ % 4096 == 0 && stopFlag().load() != 0) throw Error(where_ + ": stopped");
    }

    Json* put(Json value) {
        tick();
        if (stack_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Json& parent = *stack_.back();
        if (parent.is_array()) {
            parent.get_ref<Json::array_t&>().push_back(std::move(value));
            return &parent.get_ref<Json::array_t&>().back();
        }
        auto& entries = static_cast<Json::object_t::Container&>(parent.get_ref<Json::object_t&>());
        entries.emplace_back(std::move(pendingKey_), std::move(value));
        return &entries.back().second;
    }

    bool open(Json container) {
        if (stack_.size() >= static_cast<std::size_t>(kMaxJsonDepth))
            throw UsageError(
                fmt::format("{}: nested deeper than {} levels", where_, kMaxJsonDepth));
        const bool object = container.is_object();
        stack_.push_back(put(std::move(container)));
        if (object) keys_.emplace_back();
        return true;
    }

    bool close() {
        if (stack_.back()->is_object()) keys_.pop_back();
        stack_.pop_back();
        return true;
    }

    const std::string& where_;
    Json root_;
    std::vector<Json*> stack_;  // open containers; a parent grows only after its child closed
    std::vector<std::unordered_set<std::string>> keys_;  // of each open object
    std::string pendingKey_;
    std::string lastKey_;
    std::size_t events_ = 0;
};

}  // namespace

SettingsJson parseStrictJson(const std::string& text, const std::string& where) {
    if (text.size() > kMaxJsonBytes)
        throw UsageError(fmt::format("{}: {} bytes is more than the {} a settings file may have",
                                     where, text.size(), kMaxJsonBytes));
    // The parser would take a NUL byte for the end of the text and ignore what follows.
    if (const auto nul = text.find('\0'); nul != std::string::npos)
        throw UsageError(fmt::format("{}: not valid JSON (byte {}): a NUL byte", where, nul + 1));
    StrictBuilder builder(where);
    Json::sax_parse(text.begin(), text.end(), &builder, nlohmann::detail::input_format_t::json,
                    true);
    return builder.take();
}

std::string describeJson(const SettingsJson& value) {
    constexpr std::size_t kShown = 40;
    if (value.is_object()) return fmt::format("an object of {} keys", value.size());
    if (value.is_array()) return fmt::format("a list of {} values", value.size());
    std::string text = value.dump();
    if (text.size() > kShown) text = text.substr(0, kShown) + "...";
    return text;
}

}  // namespace drawlet::run
