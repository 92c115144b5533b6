// The offline configuration (17): the programmer keeps the header it was
// sent — chip type, supplies, options, range, checksum and the four code
// bytes — so that its own button can program chips without a PC, and
// answers "OK" (or "NO" when told to refuse).
#include "sim/virtual_programmer.h"

namespace zvp {

void VirtualProgrammer::OnOfflineConfig(const Header& h, int64_t t) {
  if (Matches(faults_.answer_no, h.Command())) {
    EmitText(kReplyNo, t + 2000);
    return;
  }
  offline_configs_.push_back(h);
  EmitText(kReplyOk, t + 2000);
}

}  // namespace zvp
