// exogena: the desktop program.
#include "ui/Desktop.h"

int main(int argc, char** argv) { return exo::ui::INICIO(argc, argv); }
