// Where a record of the link's work goes, when one is kept: the wire trace
// (link/wire_trace) takes every port call and every pause.
#pragma once

#include <string>
#include <string_view>

namespace zvp {

class TraceSink {
 public:
  virtual ~TraceSink() = default;
  // One line: the call ("WRITE", "DELAY", ...) and its details.
  virtual void Line(std::string_view call, std::string_view details) = 0;
  // Why the record could not be kept (a full disk); empty while it is whole.
  virtual std::string Failure() const { return std::string(); }
};

}  // namespace zvp
