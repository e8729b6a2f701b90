// One run over several formats: the generation page's "Generar todos los formatos" and the
// command `generate --format all` make each chosen format's workbook and/or XML file with the
// driver GENERADORAZO, one format after the other.
//
// The XML header is asked once: the first format that reaches its header goes through the
// caller's editor, and what the user gave there (year, concept, sending number, dates) is given
// to the header of every later format, each keeping its own code and version. When some of the
// workbooks already exist, one question covers all of them before anything is written. The
// messages a format's run shows (data not ready, missing bases, the findings of its XML file)
// are kept with that format and reported in the summary instead of one box after another.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "generation/Generation.h"

namespace exo::generation {

struct FormatOutcome {
  int format = 0;  // 1 to 12
  bool done = false;
  std::int64_t records = 0;
  double total = 0;
  std::vector<std::filesystem::path> files;  // the files written: the workbook, then XML
  std::vector<XmlFinding> findings;          // of the XML files written
  std::vector<std::string> notes;            // the messages its run showed, in order
};

struct AllFormatsResult {
  bool started = false;  // false: the user declined the overwrite question or the header
  std::vector<FormatOutcome> formats;  // one per format asked for, in the order given
  std::size_t findings() const;
  std::size_t generated() const;
};

// Runs GENERADORAZO for each of `formats` (numbers 1 to 12, in the order given) with the same
// outputs. A header cancelled stops the run before that format, and a format whose run failed
// stops it after that format: the formats after it are not generated (they appear with
// done = false and a note).
AllFormatsResult generateFormats(shell::Session& session, store::Engine& engine,
                                 reports::Runner& runner, const std::vector<int>& formats,
                                 bool excel, bool xml, const HeaderEditor& editHeader);

// The amount as the program shows amounts: whole units grouped by thousands with commas
// ("7,899,199,485"; negative amounts with a leading minus).
std::string amountText(double amount);

// The note of a format not generated because a failure ended the run at an earlier format.
inline constexpr std::string_view kStoppedByFailure =
    "No generado: un error en un formato anterior detuvo la generaci\363n.";

// The summary of a run, one block per format, Windows-1252 with CR LF line ends:
//   "Formato 1001: 123 registros, total 7,899,199,485" and below it the files, the number of
//   observations of the XML files and the notes of the run.
std::string summaryText(const AllFormatsResult& result, bool xml);

}  // namespace exo::generation
