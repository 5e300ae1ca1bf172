#include "Commands.h"

namespace quorix::cli {

QList<Command> phoneCommands() { return {}; }

} // namespace quorix::cli
