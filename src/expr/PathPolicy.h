// Which files the texts being evaluated may name. While a report definition runs, its runner
// installs a policy on the interpreter; every function of the language that opens, creates,
// empties, overwrites or erases a file by a name the text gives (and every change to the table
// of a work area) asks it first. With no policy installed, as while the program's own routines
// run, every path is allowed.
//
// A refusal is a failure raised through the interpreter (Interp::raise), so the installed error
// handler shows it with the path and the operation like any other run-time error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace exo {

class Interp;
struct Failure;

// What is done with a file: read it, or create, empty, overwrite or erase it.
enum class PathUse { Read, Write };

class PathPolicy {
 public:
  virtual ~PathPolicy() = default;
  // The Spanish reason why `path` (native, absolute or relative to the working folder) may not
  // be used so; empty when it may.
  virtual std::string refusal(std::string_view path, PathUse use) const = 0;
};

// The failure of a refused path (subsystem "RUTAS", general code Create for a write and Open for
// a read); the handler may let the operation go without it, never retry it.
Failure pathFailure(std::string reason, std::string_view path, PathUse use,
                    std::string_view operation);

// The policy installed on an interpreter, nullptr when none; the epoch changes whenever the
// interpreter's policy does, so that a decision kept about a file can be renewed.
const PathPolicy* pathPolicyOf(const Interp& ip);
std::uint64_t pathPolicyEpoch(const Interp& ip);

// Asks the interpreter's policy about `path`: true when it may be used (always when no policy
// is installed). A refusal is raised; false is returned when the handler lets the caller go on.
bool allowPath(Interp& ip, std::string_view path, PathUse use, std::string_view operation);

// Installs a policy (or none, with nullptr) on an interpreter for a scope and puts the previous one
// back at its end, however it ends.
class PathPolicyScope {
 public:
  PathPolicyScope(Interp& ip, const PathPolicy* policy);
  ~PathPolicyScope();
  PathPolicyScope(const PathPolicyScope&) = delete;
  PathPolicyScope& operator=(const PathPolicyScope&) = delete;

 private:
  Interp& m_ip;
  const PathPolicy* m_previous;
};

}  // namespace exo
