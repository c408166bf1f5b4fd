// drawlet params: the sliders and check boxes with their aliases, values and ranges, the
// documents made from them (the README's table, the man page's section, the editors'
// descriptions), or the current values saved as a settings file.
#include <fmt/format.h>

#include <functional>
#include <map>

#include "cli/command.h"
#include "cli/options.h"
#include "cli/parameter_docs.h"
#include "cli/pending_output.h"
#include "frei0r/editor_descriptions.h"
#include "kit/error.h"
#include "run/settings_file.h"

namespace drawlet::cli {

namespace {

void printTable(kit::FilterHost& host, const run::RunSettings& run, std::ostream& out) {
    out << host.displayName() << " (" << host.information() << ")\n\nSliders:\n";
    out << "  index    value  default      min      max  alias             name\n";
    for (const kit::Parameter& p : host.parameters())
        if (p.kind == kit::ParameterKind::Slider)
            out << fmt::format("{:>7}{:>9}{:>9}{:>9}{:>9}  {:<17} {}\n", p.index, host.value(p),
                               p.defaultValue, p.minimum, p.maximum, p.alias, p.name);
    out << "\nCheck boxes:\n  index    value  default  alias             name\n";
    for (const kit::Parameter& p : host.parameters())
        if (p.kind == kit::ParameterKind::Check)
            out << fmt::format("{:>7}{:>9}{:>9}  {:<17} {}\n", p.index,
                               host.value(p) ? "on" : "off", p.defaultValue ? "on" : "off", p.alias,
                               p.name);
    out << "\nThe hosts' own (not the module's):\n           value  default  key\n";
    out << fmt::format("{:>16}{:>9}  {}\n", run.followMotion ? "on" : "off", "off",
                       run::follow_motion::kKey);
}

void printTsv(kit::FilterHost& host, const run::RunSettings&, std::ostream& out) {
    for (const kit::Parameter& p : host.parameters()) {
        if (p.kind == kit::ParameterKind::Slider)
            out << "slider\t" << p.index << '\t' << p.name << '\t' << p.defaultValue << '\t'
                << p.minimum << '\t' << p.maximum << '\t' << p.alias << '\n';
        else
            out << "check\t" << p.index << '\t' << p.name << '\t' << p.defaultValue << '\t'
                << p.alias << '\n';
    }
}

// Each format's writer; the values given (defaults, --settings, --set) are the defaults the
// documents show.
using Writer = std::function<std::string(const kit::FilterHost&, const run::RunSettings&,
                                         const std::string& lookName)>;

const std::map<std::string, Writer>& documentWriters() {
    using Run = run::RunSettings;
    static const std::map<std::string, Writer> writers = {
        {"markdown", [](const kit::FilterHost& h, const Run& r,
                        const std::string&) { return markdownParameterTable(h, r); }},
        {"man", [](const kit::FilterHost& h, const Run& r,
                   const std::string&) { return manParameterSection(h, r); }},
        {"kdenlive", [](const kit::FilterHost& h, const Run& r,
                        const std::string& look) { return frei0r::kdenliveEffect(h, r, look); }},
        {"shotcut-meta", [](const kit::FilterHost& h, const Run&,
                            const std::string&) { return frei0r::shotcutMetadata(h); }},
        {"shotcut-ui", [](const kit::FilterHost& h, const Run& r,
                          const std::string&) { return frei0r::shotcutControls(h, r); }},
    };
    return writers;
}

class ParamsCommand : public Command {
  public:
    CLI::App* add(CLI::App& parent) override {
        CLI::App* c =
            parent.add_subcommand("params", "list the sliders and check boxes, with aliases");
        c->add_option("--format", format_,
                      "text, tsv, or a document made from them: markdown (the README's table), "
                      "man (the man page's section), kdenlive, shotcut-meta, shotcut-ui (the "
                      "editors' descriptions)")
            ->check(CLI::IsMember(
                {"text", "tsv", "markdown", "man", "kdenlive", "shotcut-meta", "shotcut-ui"}));
        c->add_option("--look-name", lookName_,
                      "with --format kdenlive: describe an effect of its own for a look of this "
                      "name, starting from the values given");
        c->add_option("--save", save_, "write the values (defaults, --settings, --set) as JSON");
        addFilterOptions(*c, filter_);
        addFollowMotionFlag(*c, filter_);
        c->add_flag("-y,--overwrite", overwrite_, "overwrite an existing --save file");
        return c;
    }

    void run(const Io& io) override {
        if (!lookName_.empty() && format_ != "kdenlive")
            throw UsageError("--look-name goes with --format kdenlive");
        run::RunSettings runSettings;
        auto host = configuredHost(filter_, io.err, &runSettings);
        if (const auto writer = documentWriters().find(format_);
            writer != documentWriters().end() && save_.empty()) {
            io.out << writer->second(*host, runSettings, lookName_);
            return;
        }
        if (save_.empty()) {
            (format_ == "tsv" ? printTsv : printTable)(*host, runSettings, io.out);
            return;
        }
        // Like a render's output: an existing file is kept unless -y is given, and a failed
        // write leaves it as it was.
        PendingOutput pending(save_, overwrite_, false);
        run::saveSettingsFile(*host, runSettings, pending.path());
        pending.commit();
        io.out << "wrote " << save_ << '\n';
    }

  private:
    std::string format_ = "text";
    std::string lookName_;
    std::string save_;
    FilterOptions filter_;
    bool overwrite_ = false;
};

}  // namespace

std::unique_ptr<Command> makeParamsCommand() { return std::make_unique<ParamsCommand>(); }

}  // namespace drawlet::cli
