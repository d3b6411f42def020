#include "Commands.h"
namespace tervala { namespace cli {
void addDemoCommand(CLI::App&, Context&, Registry&) {}
}}
