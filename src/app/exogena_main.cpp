// exogena: the desktop program.
#include "app/Desktop.h"

int main(int argc, char** argv) { return exo::app::INICIO(argc, argv); }
