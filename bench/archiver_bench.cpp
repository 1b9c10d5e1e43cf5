// Benchmark driver for the archiver libraries: generates the shared text-like input, and
// times one test command of a built .DLL, reporting elapsed seconds and peak memory.
//   orvex2_archiver_bench generate <folder> <total MiB> <files>
//   orvex2_archiver_bench run <library.DLL> <command entry> <archive> [option text]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using CommandFn = int (*)(void*, const char*, char*, unsigned long);

// Deterministic words with a skewed choice, numbers and punctuation: compresses about 3:1.
class TextSource {
 public:
  TextSource() {
    const char* syllables[] = {"ka", "ri", "to", "mu", "sen", "dal", "or", "vex", "li", "pan", "que", "st",
                               "ber", "no", "al", "im", "ra", "tu", "sho", "ne", "ex", "ul", "dor", "ki"};
    for (int i = 0; i < 4096; ++i) {
      std::string w;
      const int parts = 1 + static_cast<int>(Next() % 4);
      for (int p = 0; p < parts; ++p) w += syllables[Next() % (sizeof syllables / sizeof *syllables)];
      words_.push_back(w);
    }
  }
  void Fill(std::string& out, size_t bytes) {
    out.clear();
    while (out.size() < bytes) {
      const uint64_t r = Next();
      // Skewed: small indexes far more often than large ones.
      const size_t index = static_cast<size_t>(((r & 0xFFF) * ((r >> 12) & 0xFFF)) >> 12);
      out += words_[index % words_.size()];
      switch ((r >> 24) % 16) {
        case 0:
          out += ", ";
          break;
        case 1:
          out += ".\n";
          break;
        case 2:
          out += ' ';
          out += std::to_string((r >> 32) % 100000);
          out += ' ';
          break;
        default:
          out += ' ';
      }
    }
    out.resize(bytes);
  }

 private:
  uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  uint64_t state_ = 0x9E3779B97F4A7C15ull;
  std::vector<std::string> words_;
};

int Generate(const std::string& folder, long totalMiB, int files) {
  if (totalMiB <= 0 || files <= 0) return 2;
  TextSource source;
  std::string chunk;
  const uint64_t perFile = (static_cast<uint64_t>(totalMiB) << 20) / static_cast<uint64_t>(files);
  for (int f = 0; f < files; ++f) {
    const std::string path = folder + "/part" + std::to_string(f + 1) + ".txt";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
      std::perror(path.c_str());
      return 1;
    }
    for (uint64_t done = 0; done < perFile;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(perFile - done, 1 << 20));
      source.Fill(chunk, n);
      if (std::fwrite(chunk.data(), 1, n, out) != n) {
        std::perror(path.c_str());
        std::fclose(out);
        return 1;
      }
      done += n;
    }
    if (std::fclose(out) != 0) return 1;
  }
  return 0;
}

int Run(const std::string& library, const std::string& entry, const std::string& archive, const std::string& option) {
  void* h = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    std::fprintf(stderr, "%s\n", ::dlerror());
    return 2;
  }
  auto command = reinterpret_cast<CommandFn>(::dlsym(h, entry.c_str()));
  if (command == nullptr) {
    std::fprintf(stderr, "no entry %s\n", entry.c_str());
    return 2;
  }
  const std::string line = option + " \"" + archive + "\"";
  const auto start = std::chrono::steady_clock::now();
  const int rc = command(nullptr, line.c_str(), nullptr, 0);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("rc=%d seconds=%.3f peak_rss_kib=%ld\n", rc, elapsed.count(), usage.ru_maxrss);
  return rc == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::strcmp(argv[1], "generate") == 0) {
    return Generate(argv[2], std::atol(argv[3]), std::atoi(argv[4]));
  }
  if (argc >= 5 && std::strcmp(argv[1], "run") == 0) {
    return Run(argv[2], argv[3], argv[4], argc >= 6 ? argv[5] : "-t");
  }
  std::fprintf(stderr,
               "usage: %s generate <folder> <total MiB> <files>\n"
               "       %s run <library.DLL> <command entry> <archive> [option text]\n",
               argv[0], argv[0]);
  return 2;
}
