// The process-wide set of window operations the engine reports to.
#include "engine/ports.h"

namespace orvex2 {

EnginePorts& Ports() {
  static EnginePorts ports;
  return ports;
}

}  // namespace orvex2
