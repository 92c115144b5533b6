// The operator's choices read from the main window (the real one or the
// headless one the command line drives) when an operation or a connection
// starts.
#pragma once

#include "core/operator_choices.h"

namespace zvp {

// The chip type from the radio buttons whether or not they are enabled (the
// MTP button wins when both are ticked); the supply, the programming voltage
// and the seven option boxes only from boxes both enabled and ticked (3.3 V
// and Vcc win over 5.0 V and 12 V).
OperatorChoices ReadOperatorChoices();

}  // namespace zvp
