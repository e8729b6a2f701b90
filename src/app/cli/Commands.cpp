// Dispatch of the exogena-cli commands.
#include "app/cli/Commands.h"

#include "app/cli/ReturnCommand.h"

#include <cstdio>
#include <cstring>

namespace exo::cli {

int evalCommand(int argc, char** argv);
int dbfCommand(int argc, char** argv);
int demoCommand(int argc, char** argv);
int demoInfoCommand(int argc, char** argv);
int memCommand(int argc, char** argv);
int selectCompanyCommand(int argc, char** argv);
int installCommand(int argc, char** argv);
int importChartCommand(int argc, char** argv);
int importMovementsCommand(int argc, char** argv);
int fixIvaCommand(int argc, char** argv);
int fixComisionesCommand(int argc, char** argv);
int importTercerosCommand(int argc, char** argv);
int validateTercerosCommand(int argc, char** argv);
int maintenanceCommand(int argc, char** argv);
int copyAssignmentsCommand(int argc, char** argv);
int assignmentsCommand(int argc, char** argv);
int repairAssignmentsCommand(int argc, char** argv);
int runDefinitionCommand(int argc, char** argv);
int integrateCommand(int argc, char** argv);
int checkCommand(int argc, char** argv);
int controlCommand(int argc, char** argv);
int auditCommand(int argc, char** argv);
int coverageCommand(int argc, char** argv);
int basesCommand(int argc, char** argv);
int generateCommand(int argc, char** argv);
int batchCommand(int argc, char** argv);

namespace {
struct Command {
  const char* name;
  int (*run)(int, char**);
  const char* usage;
};

const Command kCommands[] = {
    {"eval", evalCommand, "eval \"EXPR\"          imprime el valor de una expresi\xC3\xB3n"},
    {"dbf", dbfCommand,
     "dbf ARCHIVO [--index CDX] [--tag NOMBRE] [--recnos]\n"
     "                        muestra estructura, etiquetas y registros de una tabla"},
    {"demo", demoCommand,
     "demo CARPETA [--lines N] [--seed S] [--companies K] [--products orbisal|both]\n"
     "                        instala la demostraci\xC3\xB3n (programa, productos hermanos, "
     "contabilidad)"},
    {"demo-info", demoInfoCommand,
     "demo-info CARPETA     muestra lo que contiene una demostraci\xC3\xB3n"},
    {"install", installCommand,
     "install CARPETA       instala la carpeta del programa para una contabilidad real"},
    {"mem", memCommand, "mem ARCHIVO [N=V...]  lista o escribe un archivo de variables (.mem)"},
    {"select-company", selectCompanyCommand,
     "select-company        elige la empresa-a\xC3\xB1o (--company) y lista las del programa"},
    {"import-chart", importChartCommand,
     "import-chart          importa las cuentas del P.U.C. de la contabilidad"},
    {"import-movements", importMovementsCommand,
     "import-movements      importa los movimientos contables del a\xC3\xB1o"},
    {"fix-iva", fixIvaCommand, "fix-iva               regulariza los IVA's"},
    {"fix-comisiones", fixComisionesCommand,
     "fix-comisiones        regulariza las comisiones en ventas"},
    {"import-terceros", importTercerosCommand,
     "import-terceros       importa s\xC3\xB3lo las fichas de terceros"},
    {"validate-terceros", validateTercerosCommand,
     "validate-terceros     valida las fichas de terceros y lista las que tienen errores"},
    {"maintenance", maintenanceCommand,
     "maintenance           mantenimiento de bases (asignaciones y cuentas)"},
    {"integrate", integrateCommand,
     "integrate             integra los movimientos a los formatos (TrF1001 a TrF1012)"},
    {"check", checkCommand,
     "check [FORMATO]       dice si los formatos est\xC3\xA1n listos (integrados)"},
    {"control", controlCommand,
     "control [TERCERO] [--format N] [--concept C] [--excel]\n"
     "                        informe de control de un formato (PDF, o libro con --excel)"},
    {"audit", auditCommand,
     "audit --format 1008|1009\n"
     "                        libro de an\xC3\xA1lisis de los saldos por tercero y por concepto"},
    {"coverage", coverageCommand,
     "coverage              libro de cobertura: cuentas con terceros sin concepto y lo que\n"
     "                        lleg\xC3\xB3 a cada concepto"},
    {"bases", basesCommand,
     "bases --format 1002|1003|1004|1010|1011|1012 [--restore]\n"
     "                        prepara y lista la tabla de bases o de datos manuales del formato"},
    {"generate", generateCommand,
     "generate --format N|all (--xml | --excel | --both) [--concepto 1|2] [--envio N]\n"
     "         [--anio YYYY] [--strict]\n"
     "                        genera el libro y/o el archivo XML de los formatos y revisa cada\n"
     "                        archivo XML con las reglas de su formato (--strict: termina con 1\n"
     "                        si hay observaciones)"},
    {"batch", batchCommand,
     "batch [--companies A,B,...|--all] [--jobs N] [--steps import,fixes,integrate,bases,"
     "generate]\n"
     "      [--anio AAAA]    los pasos de la declaraci\xC3\xB3n para varias empresas, cada una en "
     "su proceso"},
    {"copy-assignments", copyAssignmentsCommand,
     "copy-assignments --from-company CARPETA | --previous-year\n"
     "                        copia la tabla de asignaciones de otra empresa o del a\xC3\xB1o "
     "anterior"},
    {"assignments", assignmentsCommand,
     "assignments           lista las cuentas asignadas (formato, concepto, cuenta, naturaleza)"},
    {"repair-assignments", repairAssignmentsCommand,
     "repair-assignments    repara una tabla de asignaciones da\xC3\xB1"
     "ada: conserva las filas que\n"
     "                        se pueden leer y dice cu\xC3\xA1ntas se perdieron"},
    {"run", runDefinitionCommand,
     "run DEF [TEXTO]       ejecuta una definici\xC3\xB3n de informe (FORMS\\ o VRFuente)"},
    {"help",
     [](int, char**) {
       printUsage();
       return 0;
     },
     "help                  muestra esta ayuda"},
};
}  // namespace

void printUsage() {
  std::fputs("Uso: exogena-cli COMANDO [argumentos]\n\nComandos:\n", stdout);
  for (const Command& c : kCommands) std::printf("  %s\n", c.usage);
  std::printf("\n%s", globalOptionsUsage());
}

int runCommand(int argc, char** argv) {
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[0], c.name) == 0) return c.run(argc, argv);
  }
  std::fprintf(stderr, "exogena-cli: comando desconocido: %s\n", argv[0]);
  printUsage();
  return 2;
}

}  // namespace exo::cli
