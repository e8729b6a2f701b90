// The record builders of the twelve formats (internal to src/generation): each fills the output
// table that the format's report definitions write, open under the alias "TraCon" in concept
// order and standing on its first record.
//
// Formats 1001, 1002, 1003 and 1005 to 1009 total the format's movement table per third party and
// per third party and concept, report each third party at or above the concept's threshold by
// itself and gather those below it into one minor-amounts record per concept (FORM "Meno"); a
// third party whose total is zero or less is dropped (1008 and 1009 keep their own rules).
// Formats 1004, 1010, 1011 and 1012 hand over their manual-data table with a filter.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace exo::shell {
class OpenAreas;
class Session;
}  // namespace exo::shell
namespace exo::store {
class Engine;
}
namespace exo::consolidation {
class ScratchFiles;
}

namespace exo::generation {

inline constexpr std::string_view kMinorForm = "Meno";
inline constexpr const char* kOutputAlias = "TraCon";
inline constexpr const char* kDirectoryAlias = "Direc";

// A third party and concept of 1002/1003 copied without its retention base.
struct MissingBase {
  std::string party;  // CTA_DIR as stored
  std::string conceptCode;
};

struct BuildResult {
  bool built = false;                    // TraCon is open and ready
  int area = 0;                          // its area
  bool missingBases = false;             // 1002/1003: a record copied lacks its retention base
  std::vector<MissingBase> withoutBase;  // which ones, in the order they were copied
};

// Builds the output table of `formatNumber` (1 to 12). The tables it opens are taken into
// `areas`, the files it makes into `scratch`, so that they outlive the definitions and go when
// the run ends. REQUIRES: the format's movement table (and, where needed, its base or
// manual-data table) exists in the company folder.
BuildResult buildRecords(shell::Session& session, store::Engine& engine, shell::OpenAreas& areas,
                         consolidation::ScratchFiles& scratch, int formatNumber);

// Opens the third-party directory of the company under "Direc" with its code order (0 when the
// company has none).
int openDirectory(shell::Session& session, store::Engine& engine, shell::OpenAreas& areas);

}  // namespace exo::generation
