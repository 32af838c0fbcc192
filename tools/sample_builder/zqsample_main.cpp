// zqsample: writes synthetic infected files and minimal PE images for the
// end-to-end scripts. Run without arguments for the usage.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "sample_builder/sample_builder.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  zqsample infect HOST OUT [options]  write the infected form of HOST to OUT\n"
    "      --head-len N       length of the saved head (default: the whole host;\n"
    "                         longer than the host: filler follows it)\n"
    "      --garbage N        bytes between the saved head and the trailer (default 0)\n"
    "      --into-trailer N   the saved head's last N (<= 48) bytes are the trailer's first\n"
    "      --no-window        leave bytes 1024..2099 to the infector's filler\n"
    "      --window FILE      window pattern (1076 bytes; default the test pattern)\n"
    "      --head-offset V    write V as HeadOffset into the trailer (corrupt trailer)\n"
    "      --head-end V       write V as HeadEnd into the trailer (corrupt trailer)\n"
    "      --seed S           seed of the infector's and filler bytes (default 7)\n"
    "      --repaired FILE    also write what a correct repair leaves\n"
    "  zqsample pe OUT --size N [--dll] [--zm] [--seed S]\n"
    "                         write a minimal PE image of N bytes\n"
    "  zqsample pattern OUT   write the 1076-byte test window pattern\n"
    "  zqsample signature     print the test signature (MD5 of the pattern)\n"
    "Numbers are decimal or 0x-prefixed hex. Exit code 0 on success, 2 on bad usage,\n"
    "1 when a file cannot be read or written.\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

uint32_t ParseNumber(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || value > 0xFFFFFFFFull) {
        throw UsageError("not a 32-bit number: " + text);
    }
    return static_cast<uint32_t>(value);
}

sample::Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return sample::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const sample::Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

// Hands out the arguments in order; a missing value is a usage error.
class Args {
  public:
    Args(int argc, char** argv) : argc_(argc), argv_(argv) {}
    bool More() const { return next_ < argc_; }
    std::string Next(const char* what) {
        if (next_ >= argc_) {
            throw UsageError(std::string("missing ") + what);
        }
        return argv_[next_++];
    }

  private:
    int argc_;
    char** argv_;
    int next_ = 1;
};

int Infect(Args& args) {
    const std::string host_path = args.Next("HOST");
    const std::string out_path = args.Next("OUT");
    sample::InfectOptions options;
    std::string repaired_path;
    while (args.More()) {
        const std::string option = args.Next("option");
        if (option == "--head-len") {
            options.head_length = ParseNumber(args.Next("--head-len value"));
        } else if (option == "--garbage") {
            options.garbage = ParseNumber(args.Next("--garbage value"));
        } else if (option == "--into-trailer") {
            options.into_trailer = ParseNumber(args.Next("--into-trailer value"));
        } else if (option == "--no-window") {
            options.window.clear();
        } else if (option == "--window") {
            options.window = ReadAll(args.Next("--window file"));
        } else if (option == "--head-offset") {
            options.head_offset_field = ParseNumber(args.Next("--head-offset value"));
        } else if (option == "--head-end") {
            options.head_end_field = ParseNumber(args.Next("--head-end value"));
        } else if (option == "--seed") {
            options.seed = ParseNumber(args.Next("--seed value"));
        } else if (option == "--repaired") {
            repaired_path = args.Next("--repaired file");
        } else {
            throw UsageError("unknown option " + option);
        }
    }
    sample::Sample built;
    try {
        built = sample::BuildInfected(ReadAll(host_path), options);
    } catch (const std::invalid_argument& error) {
        throw UsageError(error.what());
    }
    WriteAll(out_path, built.infected);
    if (!repaired_path.empty()) {
        if (built.repaired.empty()) {
            throw UsageError("--repaired has no meaning with a corrupt trailer");
        }
        WriteAll(repaired_path, built.repaired);
    }
    return 0;
}

int Pe(Args& args) {
    const std::string out_path = args.Next("OUT");
    sample::PeOptions options;
    bool have_size = false;
    uint32_t size = 0;
    while (args.More()) {
        const std::string option = args.Next("option");
        if (option == "--size") {
            size = ParseNumber(args.Next("--size value"));
            have_size = true;
        } else if (option == "--dll") {
            options.dll = true;
        } else if (option == "--zm") {
            options.zm = true;
        } else if (option == "--seed") {
            options.seed = ParseNumber(args.Next("--seed value"));
        } else {
            throw UsageError("unknown option " + option);
        }
    }
    if (!have_size) {
        throw UsageError("pe needs --size N");
    }
    WriteAll(out_path, sample::BuildPe(size, options));
    return 0;
}

int Run(Args& args) {
    const std::string command = args.Next("command");
    if (command == "infect") {
        return Infect(args);
    }
    if (command == "pe") {
        return Pe(args);
    }
    if (command == "pattern") {
        WriteAll(args.Next("OUT"), sample::TestWindowPattern());
        return 0;
    }
    if (command == "signature") {
        std::printf("%s\n", sample::kTestSignature);
        return 0;
    }
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    throw UsageError("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv) {
    Args args(argc, argv);
    try {
        return Run(args);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "zqsample: %s\n%s", error.what(), kUsage);
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zqsample: %s\n", error.what());
        return 1;
    }
}
