#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <sstream>

#include "engine/operation_table.h"
#include "zvp_version.h"

namespace zvp::cli {

namespace {

const char kUsageOptions[] =
    "usage: zvp [OPTIONS] COMMAND [COMMAND ...]\n"
    "options:\n"
    "  --port NAME        the programmer's port (COM1, COM2, ... on Windows, a device path elsewhere)\n"
    "  --simulate         the built-in virtual programmer instead of a port\n"
    "  --chip otp|mtp     chip type (mtp)\n"
    "  --vdd 5.0|3.3      chip supply (5.0)\n"
    "  --vpp 12|vcc       programming voltage (vcc)\n"
    "  --options LIST     blank-check,erase,verify,smart,ldc-protect,read-protect,\n"
    "                     hw-write-protect, or none (verify,read-protect,smart,hw-write-protect,erase)\n"
    "  --start HEX        start address, up to 4 hex digits (0000)\n"
    "  --end HEX          end address, up to 4 hex digits (1FFF); either one given\n"
    "                     is typed again after download, which shows the file's range\n"
    "  --file PATH        code file\n"
    "  --debug            debug mode (the PC streams and compares the code itself)\n"
    "  --chip-view        view: show the chip instead of the programmer memory\n"
    "  --ascii            view: show the bytes as ASCII characters\n"
    "  --buzzer           sound the buzzer\n"
    "  --yes | --no       answer to confirmation boxes (default: ask on a terminal, else no)\n"
    "  --trace FILE       write a wire trace of every serial-port call\n"
    "  --repeat           auto: program chip after chip, one per line on standard input,\n"
    "                     until the input ends (the reset watch runs while waiting)\n"
    "  --log FILE         auto: append a line per finished run to FILE (also runs\n"
    "                     not counted: the programmer lost or restarted before\n"
    "                     the chip was changed)\n"
    "  --version          print the version and end\n"
    "commands:\n";
// The commands come from the engine's table, between the command line's own.
const std::string kUsage = kUsageOptions + CommandListLines("connect", "state") +
    "exit status:\n"
    "  0  every command done\n"
    "  1  a command failed, was refused, was answered No (not done) or was\n"
    "     interrupted; the commands after it did not run. With auto --repeat:\n"
    "     a chip failed or was not counted\n"
    "  2  a usage error: an unknown or malformed option or command, no port\n"
    "     (neither --port nor --simulate), a log or trace file that cannot be\n"
    "     written\n";

// A command: an operation of the engine's table (its word presses its
// button; init-memory, which has none, is F7), or one of the command line's
// own.
constexpr const char* kOwnCommands[] = {"connect", "state"};
// The commands that take an argument, as the table names them.
bool TakesArgument(const std::string& name) {
  const OperationEntry* entry = FindOperationByWord(name);
  return entry != nullptr && entry->argument != nullptr;
}

bool IsCommand(const std::string& name) {
  for (const char* own : kOwnCommands)
    if (name == own) return true;
  return FindOperationByWord(name) != nullptr;
}

// Up to `digits` hexadecimal digits, nothing else: what the address boxes
// take. "0x10", "1FFFh", "1,FFF" and "-1" are refused rather than read in
// part by the window's rules.
bool IsHexAddress(const std::string& text, size_t digits) {
  if (text.empty() || text.size() > digits) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

int UsageError(const std::string& message) {
  std::cerr << "zvp: " << message << "\n(zvp --help lists the options and commands)\n";
  return kExitUsage;
}

std::optional<int> Parse(int argc, const char* const* argv, Options* o) {
  auto value = [&](int& i, std::string* out) {
    if (i + 1 >= argc) return false;
    *out = argv[++i];
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    std::string v;
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return kExitOk;
    } else if (a == "--version") {
      std::cout << "zvp " << ZVP_VERSION << "\n";
      return kExitOk;
    } else if (a == "--port") {
      if (!value(i, &o->port)) return UsageError("--port needs a name");
    } else if (a == "--simulate") {
      o->simulate = true;
    } else if (a == "--chip") {
      if (!value(i, &o->chip) || (o->chip != "otp" && o->chip != "mtp"))
        return UsageError("--chip takes otp or mtp");
    } else if (a == "--vdd") {
      if (!value(i, &o->vdd) || (o->vdd != "5.0" && o->vdd != "3.3"))
        return UsageError("--vdd takes 5.0 or 3.3");
    } else if (a == "--vpp") {
      if (!value(i, &o->vpp) || (o->vpp != "12" && o->vpp != "vcc"))
        return UsageError("--vpp takes 12 or vcc");
    } else if (a == "--options") {
      if (!value(i, &v)) return UsageError("--options needs a list");
      o->options = v;
    } else if (a == "--start" || a == "--end") {
      std::string* field = a == "--start" ? &o->start : &o->end;
      (a == "--start" ? o->start_given : o->end_given) = true;
      if (!value(i, field)) return UsageError(a + " needs an address");
      if (!IsHexAddress(*field, 4))
        return UsageError(a + " takes a hexadecimal address of 1 to 4 digits (0000..7FFF), not '" +
                          *field + "'");
    } else if (a == "--file") {
      if (!value(i, &v)) return UsageError("--file needs a path");
      o->file = v;
    } else if (a == "--debug") {
      o->debug = true;
    } else if (a == "--chip-view") {
      o->chip_view = true;
    } else if (a == "--ascii") {
      o->ascii = true;
    } else if (a == "--buzzer") {
      o->buzzer = true;
    } else if (a == "--yes") {
      o->answer = true;
    } else if (a == "--no") {
      o->answer = false;
    } else if (a == "--trace") {
      if (!value(i, &o->trace)) return UsageError("--trace needs a file");
    } else if (a == "--repeat") {
      o->repeat = true;
    } else if (a == "--log") {
      if (!value(i, &o->log)) return UsageError("--log needs a file");
    } else if (a.rfind("--", 0) == 0) {
      return UsageError("unknown option " + a);
    } else {
      if (!IsCommand(a)) return UsageError("unknown command " + a);
      Invocation inv{a, ""};
      if (TakesArgument(a) && !value(i, &inv.arg)) return UsageError(a + " needs an argument");
      if (a == "view" && !IsHexAddress(inv.arg, 5))
        return UsageError("view takes a hexadecimal address of 1 to 5 digits, not '" + inv.arg +
                          "'");
      o->commands.push_back(inv);
    }
  }
  if (o->commands.empty()) {
    std::cerr << "zvp: no command given\n" << kUsage;
    return kExitUsage;
  }
  if (o->simulate && !o->port.empty()) return UsageError("--port and --simulate exclude each other");
  // Every command but state talks to the programmer.
  const bool needs_port = std::any_of(o->commands.begin(), o->commands.end(), [](const Invocation& c) {
    return c.name != "state";
  });
  if (needs_port && !o->simulate && o->port.empty())
    return UsageError("no port: give --port DEVICE or --simulate");
  if (o->chip == "otp" && o->vdd == "3.3") return UsageError("an OTP chip takes only 5.0 V");
  // The offline master loads the file itself and takes the file's whole
  // range, as the window's button does: a typed range cannot apply.
  const bool master = std::any_of(o->commands.begin(), o->commands.end(),
                                  [](const Invocation& c) { return c.name == "offline-master"; });
  if (master && (o->start_given || o->end_given))
    return UsageError("offline-master takes the code file's whole range: drop --start/--end");
  if (o->options && *o->options != "none") {
    std::stringstream list(*o->options);
    std::string word;
    while (std::getline(list, word, ',')) {
      bool known = false;
      for (const OptionBox& b : kOptionBoxes) known = known || word == b.word;
      if (!known) return UsageError("unknown option word " + word);
    }
  }
  return std::nullopt;
}

}  // namespace zvp::cli
