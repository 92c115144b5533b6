// Times LoadCodeFile on one file: loads it RUNS times and prints the median
// and the fastest load in milliseconds. With a binary image given as well
// (srec_cat's conversion of the same file), it checks afterwards that the
// buffer holds exactly that image on 0xFF, so a fast but wrong load shows.
//
//   loader_bench FILE [RUNS] [EXPECTED.bin]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "progmem/code_file.h"
#include "core/app_state.h"
#include "ui/control_ids.h"
#include "ui/headless_window.h"

namespace {

int CheckAgainst(const char* expected_path) {
  std::ifstream in(expected_path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", expected_path);
    return 1;
  }
  std::vector<uint8_t> want((std::istreambuf_iterator<char>(in)), {});
  if (want.size() > zvp::kCodeBufferSize) want.resize(zvp::kCodeBufferSize);
  want.resize(zvp::kCodeBufferSize, 0xFF);
  const auto& got = zvp::App().code_buffer;
  const auto diff = std::mismatch(want.begin(), want.end(), got.begin());
  if (diff.first != want.end()) {
    std::fprintf(stderr, "buffer differs from %s at 0x%05zX\n", expected_path,
                 static_cast<size_t>(diff.first - want.begin()));
    return 1;
  }
  std::printf("buffer matches %s\n", expected_path);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [RUNS] [EXPECTED.bin]\n", argv[0]);
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 11;

  zvp::HeadlessWindow window;
  zvp::InstallWindow(&window);
  window.SetText(zvp::ctl::kFileBox, argv[1]);

  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    zvp::LoadCodeFile();
    const auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    if (zvp::App().link_fault != 0) {
      std::fprintf(stderr, "load failed: %s\n", window.Status().c_str());
      return 1;
    }
  }
  std::sort(ms.begin(), ms.end());
  std::printf("loader: median %.2f ms, fastest %.2f ms over %d loads (range end %04X)\n",
              ms[ms.size() / 2], ms.front(), runs,
              static_cast<unsigned>(zvp::App().range_end.load()));
  return argc > 3 ? CheckAgainst(argv[3]) : 0;
}
