// The table of the main window's pages: for each (group, page) the builder of the page, filled
// by the program's start-up so that the window frame itself knows no page.
#pragma once

namespace exo::shell {
class Session;
}
namespace exo::store {
class Engine;
}
namespace exo::ui {
class MainWindow;
}

namespace exo::app {

// Gives the main window every page of the three groups that the program has.
void registerPages(ui::MainWindow& window, shell::Session& session, store::Engine& engine);

}  // namespace exo::app
