#include "Commands.h"

namespace quorix::cli {

QList<Command> linkCommands() { return {}; }

} // namespace quorix::cli
