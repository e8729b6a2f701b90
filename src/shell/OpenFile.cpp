// Opening a file with the desktop, or saying why it did not open.
#include "shell/OpenFile.h"

#include <string>

namespace exo::shell {

namespace fs = std::filesystem;

bool openOrExplain(UserInterface& ui, const fs::path& file) {
  std::error_code ec;
  const bool exists = fs::exists(file, ec);
  if (exists && ui.openWithShell(file.string())) return true;
  const fs::path absolute = fs::absolute(file, ec);
  const fs::path folder = (ec ? file : absolute).parent_path();
  const bool folderExists = fs::is_directory(folder, ec);
  std::string text = exists
                         ? "No hay un programa para abrir el archivo " + file.filename().string() +
                               ".\r\n\r\nEl archivo est\341 en " + folder.string()
                         : "No se encuentra el archivo " + file.filename().string() +
                               ".\r\n\r\nDebe estar en la carpeta " + folder.string();
  if (!folderExists) {
    ui.message(MessageKind::Alert, "Atenci\363n.....", text);
    return false;
  }
  text += "\r\n\r\n\277Desea abrir la carpeta?";
  if (ui.ask("Atenci\363n.....", text, {"Abrir &carpeta", "&Cerrar"}, 0) != 0) return false;
  if (!ui.openWithShell(folder.string()))
    ui.message(MessageKind::Alert, "Atenci\363n.....",
               "Tampoco hay un programa para abrir la carpeta " + folder.string() + ".");
  return false;
}

}  // namespace exo::shell
