#include "Commands.h"

namespace quorix::cli {

QList<Command> fileCommands() { return {}; }

} // namespace quorix::cli
