// Where a record of the link's work goes, when one is kept: the wire trace
// (link/wire_trace) takes every port call and every pause.
#pragma once

#include <string_view>

namespace zvp {

class TraceSink {
 public:
  virtual ~TraceSink() = default;
  // One line: the call ("WRITE", "DELAY", ...) and its details.
  virtual void Line(std::string_view call, std::string_view details) = 0;
};

}  // namespace zvp
