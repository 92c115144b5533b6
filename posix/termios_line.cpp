#include "posix/termios_line.h"

#include <cctype>
#include <charconv>
#include <optional>
#include <string>

namespace zvp {

namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::optional<unsigned> ParseUnsigned(std::string_view text) {
  unsigned value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

struct Rate {
  unsigned baud;
  speed_t speed;
};
constexpr Rate kRates[] = {
    {110, B110},       {300, B300},     {600, B600},       {1200, B1200},
    {2400, B2400},     {4800, B4800},   {9600, B9600},     {19200, B19200},
    {38400, B38400},   {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

std::optional<speed_t> SpeedFor(unsigned baud) {
  for (const Rate& rate : kRates) {
    if (rate.baud == baud) return rate.speed;
  }
  return std::nullopt;
}

// Applies one "key=value" pair of a line definition to *tio.
bool ApplySetting(const std::string& key, std::string_view value, termios* tio) {
  if (key == "BAUD") {
    std::optional<unsigned> baud = ParseUnsigned(value);
    std::optional<speed_t> speed = baud ? SpeedFor(*baud) : std::nullopt;
    if (!speed) return false;
    return cfsetispeed(tio, *speed) == 0 && cfsetospeed(tio, *speed) == 0;
  }
  if (key == "PARITY") {
    if (value.size() != 1) return false;
#ifdef CMSPAR
    constexpr tcflag_t kStick = CMSPAR;
#else
    constexpr tcflag_t kStick = 0;
#endif
    tcflag_t bits = 0;
    switch (std::toupper(static_cast<unsigned char>(value[0]))) {
      case 'N':
        break;
      case 'E':
        bits = PARENB;
        break;
      case 'O':
        bits = PARENB | PARODD;
        break;
      // Mark and space parity are "stick" parity: the parity bit is fixed, 1
      // with PARODD, 0 without it.
      case 'M':
        if (kStick == 0) return false;
        bits = PARENB | kStick | PARODD;
        break;
      case 'S':
        if (kStick == 0) return false;
        bits = PARENB | kStick;
        break;
      default:
        return false;
    }
    tio->c_cflag = (tio->c_cflag & ~(PARENB | PARODD | kStick)) | bits;
    return true;
  }
  if (key == "DATA") {
    std::optional<unsigned> data = ParseUnsigned(value);
    if (!data) return false;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    if (*data < 5 || *data > 8) return false;
    tio->c_cflag = (tio->c_cflag & ~CSIZE) | kSizes[*data - 5];
    return true;
  }
  if (key == "STOP") {
    // 1.5 stop bits, which Windows allows with 5 data bits, has no termios
    // form.
    if (value == "1") {
      tio->c_cflag &= ~CSTOPB;
    } else if (value == "2") {
      tio->c_cflag |= CSTOPB;
    } else {
      return false;
    }
    return true;
  }
  return false;
}

}  // namespace

bool ApplyLineDefinition(std::string_view definition, termios* tio) {
  if (tio == nullptr) return false;
  termios next = *tio;
  bool any = false;
  size_t pos = 0;
  for (;;) {
    pos = definition.find_first_not_of(" \t", pos);
    if (pos == std::string_view::npos) break;
    size_t end = definition.find_first_of(" \t", pos);
    if (end == std::string_view::npos) end = definition.size();
    std::string_view pair = definition.substr(pos, end - pos);
    pos = end;
    size_t eq = pair.find('=');
    if (eq == 0 || eq == std::string_view::npos) return false;
    if (!ApplySetting(Upper(pair.substr(0, eq)), pair.substr(eq + 1), &next)) return false;
    any = true;
  }
  if (!any) return false;
  // With INPCK (and neither IGNPAR nor PARMRK) Linux hands the reader 0x00
  // in place of a byte that fails its parity check. The Windows driver, with
  // parity checking on and no error character, passes the byte as received
  // and only flags the error, which the link clears without reading it.
  // Without INPCK the byte passes unchanged here too.
  next.c_iflag &= ~INPCK;
  *tio = next;
  return true;
}

std::chrono::nanoseconds CharacterTime(const termios& tio) {
  unsigned baud = 19200;
  for (const Rate& rate : kRates) {
    if (rate.speed == cfgetospeed(&tio)) baud = rate.baud;
  }
  const tcflag_t size = tio.c_cflag & CSIZE;
  const unsigned data = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  const unsigned parity = (tio.c_cflag & PARENB) != 0 ? 1 : 0;
  const unsigned stop = (tio.c_cflag & CSTOPB) != 0 ? 2 : 1;
  const unsigned bits = 1 + data + parity + stop;
  return std::chrono::nanoseconds(int64_t{1'000'000'000} * bits / baud);
}

}  // namespace zvp
