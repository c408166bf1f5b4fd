#include "cli/commands.h"

#include <fmt/format.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "cli/demo_scene.h"
#include "kit/filter_host.h"

namespace drawlet::cli {

namespace fs = std::filesystem;

namespace {

// A failure with a message for the user and the exit code it ends with.
struct CliError {
    std::string message;
    int exitCode;
};

std::string executableDirectory() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

std::string modulePathOr(const std::string& given) {
    return given.empty() ? executableDirectory() + "/Drawlet.auf" : given;
}

std::unique_ptr<kit::FilterHost> loadModule(const std::string& path) {
    try {
        return std::make_unique<kit::FilterHost>(path);
    } catch (const kit::HostError& e) {
        throw CliError{e.what(), kExitFailure};
    }
}

int parseInteger(const std::string& text, const std::string& what) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, value);
    if (parsed.ec != std::errc() || parsed.ptr != end)
        throw CliError{what + ": \"" + text + "\" is not an integer", kExitUsage};
    return value;
}

int parseCheckState(const std::string& text, const std::string& what) {
    if (text == "on" || text == "1") return 1;
    if (text == "off" || text == "0") return 0;
    throw CliError{what + ": a check box takes on, off, 1 or 0, not \"" + text + "\"", kExitUsage};
}

// NAME=VALUE, NAME being the UTF-8 display name or the slider's 0-based index.
void applySetting(kit::FilterHost& host, const std::string& assignment) {
    const auto eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0)
        throw CliError{"--set " + assignment + ": expected NAME=VALUE", kExitUsage};
    const std::string name = assignment.substr(0, eq);
    const std::string text = assignment.substr(eq + 1);
    const kit::Parameter* p = host.find(name);
    if (p == nullptr)
        throw CliError{"--set " + assignment + ": no slider or check box is called \"" + name +
                           "\" (see drawlet params)",
                       kExitUsage};
    const int value = p->kind == kit::ParameterKind::Check ? parseCheckState(text, p->name)
                                                           : parseInteger(text, p->name);
    try {
        host.setValue(*p, value);
    } catch (const kit::HostError& e) {
        throw CliError{std::string("--set ") + assignment + ": " + e.what(), kExitUsage};
    }
}

void applySettings(kit::FilterHost& host, const std::vector<std::string>& settings) {
    for (const std::string& s : settings) applySetting(host, s);
    // As a settings window would after a change: keeps the interpolation boxes exclusive.
    host.update();
}

void printParameters(kit::FilterHost& host, const std::string& format, std::ostream& out) {
    if (format == "tsv") {
        for (const kit::Parameter& p : host.parameters()) {
            if (p.kind == kit::ParameterKind::Slider)
                out << "slider\t" << p.index << '\t' << p.name << '\t' << p.defaultValue << '\t'
                    << p.minimum << '\t' << p.maximum << '\n';
            else
                out << "check\t" << p.index << '\t' << p.name << '\t' << p.defaultValue << '\n';
        }
        return;
    }
    out << host.displayName() << " (" << host.information() << ")\n\nSliders:\n";
    out << "  index  default      min      max  name\n";
    for (const kit::Parameter& p : host.parameters())
        if (p.kind == kit::ParameterKind::Slider)
            out << fmt::format("{:>7}{:>9}{:>9}{:>9}  {}\n", p.index, p.defaultValue, p.minimum,
                               p.maximum, p.name);
    out << "\nCheck boxes:\n  index  default  name\n";
    for (const kit::Parameter& p : host.parameters())
        if (p.kind == kit::ParameterKind::Check)
            out << fmt::format("{:>7}{:>9}  {}\n", p.index, p.defaultValue, p.name);
}

}  // namespace

namespace {

// Writes under a temporary name in the output's folder and renames at the end, so that a
// failed write never leaves a complete-looking file behind.
void writeImage(const cv::Mat& image, const std::string& output, bool overwrite) {
    const fs::path target(output);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::is_directory(folder))
        throw CliError{output + ": the folder " + folder.string() + " does not exist",
                       kExitFailure};
    if (fs::exists(target) && !overwrite)
        throw CliError{output + ": already exists (use -y to overwrite)", kExitFailure};
    const fs::path temporary = folder / fmt::format(".{}.part-{}{}", target.stem().string(),
                                                    getpid(), target.extension().string());
    bool written = false;
    try {
        written = cv::imwrite(temporary.string(), image);
    } catch (const cv::Exception&) {
        written = false;
    }
    std::error_code ec;
    if (!written) {
        fs::remove(temporary, ec);
        throw CliError{output + ": cannot write the image (unknown format or not writable)",
                       kExitFailure};
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        throw CliError{output + ": cannot write: " + ec.message(), kExitFailure};
    }
}

cv::Mat readImage(const std::string& input) {
    if (!fs::exists(input)) throw CliError{input + ": no such file", kExitFailure};
    cv::Mat image;
    try {
        image = cv::imread(input, cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
        image.release();
    }
    if (image.empty())
        throw CliError{input + ": cannot read it as an image (unreadable or not an image)",
                       kExitFailure};
    return image;
}

// Message boxes of the module go to stderr, as "caption: text".
void reportMessagesTo(kit::FilterHost& host, std::ostream& err) {
    host.onMessageBox([&err](const kit::MessageBoxCall& call) {
        err << call.caption << ": " << call.text << '\n';
    });
}

cv::Mat renderFrame(kit::FilterHost& host, const cv::Mat& input, int frameNumber,
                    const std::string& what) {
    std::optional<cv::Mat> result = host.processBgr(input, frameNumber);
    if (!result)
        throw CliError{what +
                           ": the filter left the frame unprocessed (see the message above, "
                           "or check the pattern files beside " +
                           host.modulePath() + ")",
                       kExitFailure};
    return *result;
}

struct CommonOptions {
    std::string module;
    std::vector<std::string> settings;
    bool overwrite = false;
};

void addCommonOptions(CLI::App& command, CommonOptions& options) {
    command.add_option("--module", options.module,
                       "the filter module file (default: Drawlet.auf beside this program)");
    command
        .add_option("--set", options.settings,
                    "NAME=VALUE: a slider or check box by display name or index; check boxes "
                    "take on/off/1/0")
        ->type_name("NAME=VALUE");
    command.add_flag("-y,--overwrite", options.overwrite, "overwrite an existing output file");
}

}  // namespace

int runCli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"drawlet: turns pictures into hand-drawn-looking ones through Drawlet.auf"};
    app.require_subcommand(1);

    std::string paramsModule, paramsFormat = "text";
    CLI::App* params = app.add_subcommand("params", "list the filter's sliders and check boxes");
    params->add_option("--module", paramsModule, "the filter module file");
    params->add_option("--format", paramsFormat, "text or tsv")
        ->check(CLI::IsMember({"text", "tsv"}));

    CommonOptions renderOptions;
    std::string input, output;
    int frameNumber = 0;
    CLI::App* render = app.add_subcommand("render", "render an image through the filter");
    render->add_option("INPUT", input, "input image")->required();
    render->add_option("-o,--output", output, "output image")->required();
    render->add_option("--frame", frameNumber, "frame number given to the filter (default 0)");
    addCommonOptions(*render, renderOptions);

    CommonOptions demoOptions;
    std::string demoOutput = "drawlet-demo.png";
    CLI::App* demo = app.add_subcommand("demo", "render the built-in demo scene");
    demo->add_option("-o,--output", demoOutput, "output image (default drawlet-demo.png)");
    addCommonOptions(*demo, demoOptions);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kExitOk : kExitUsage;
    }

    try {
        if (*params) {
            auto host = loadModule(modulePathOr(paramsModule));
            printParameters(*host, paramsFormat, out);
        } else if (*render) {
            const cv::Mat image = readImage(input);
            auto host = loadModule(modulePathOr(renderOptions.module));
            applySettings(*host, renderOptions.settings);
            reportMessagesTo(*host, err);
            writeImage(renderFrame(*host, image, frameNumber, input), output,
                       renderOptions.overwrite);
        } else if (*demo) {
            auto host = loadModule(modulePathOr(demoOptions.module));
            applySettings(*host, demoOptions.settings);
            reportMessagesTo(*host, err);
            const cv::Mat scene = drawDemoScene(960, 640);
            writeImage(renderFrame(*host, scene, 0, "demo scene"), demoOutput,
                       demoOptions.overwrite);
            out << "wrote " << demoOutput << '\n';
        }
    } catch (const CliError& e) {
        err << "drawlet: " << e.message << '\n';
        return e.exitCode;
    }
    return kExitOk;
}

}  // namespace drawlet::cli
