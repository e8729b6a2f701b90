// Refused paths as failures, and the scope of an installed policy.
#include "expr/PathPolicy.h"

#include "expr/Failure.h"
#include "expr/Interp.h"

#include <mutex>
#include <unordered_map>

namespace exo {
namespace {

struct Installed {
  const PathPolicy* policy = nullptr;
  std::uint64_t epoch = 0;
};

// The policies installed, by interpreter (each interpreter is used by one thread at a time, but
// the interpreters of a run's workers install theirs from their own threads).
std::unordered_map<const Interp*, Installed>& installed() {
  static std::unordered_map<const Interp*, Installed> map;
  return map;
}
std::mutex& installedGuard() {
  static std::mutex guard;
  return guard;
}

std::uint64_t nextEpoch() {
  static std::uint64_t epoch = 0;
  return ++epoch;
}

void install(const Interp& ip, const PathPolicy* policy) {
  const std::lock_guard lock(installedGuard());
  auto& map = installed();
  if (policy == nullptr) map.erase(&ip);
  else map[&ip] = Installed{policy, nextEpoch()};
}

}  // namespace

const PathPolicy* pathPolicyOf(const Interp& ip) {
  const std::lock_guard lock(installedGuard());
  const auto& map = installed();
  if (map.empty()) return nullptr;
  const auto it = map.find(&ip);
  return it == map.end() ? nullptr : it->second.policy;
}

std::uint64_t pathPolicyEpoch(const Interp& ip) {
  const std::lock_guard lock(installedGuard());
  const auto& map = installed();
  const auto it = map.find(&ip);
  return it == map.end() ? 0 : it->second.epoch;
}

Failure pathFailure(std::string reason, std::string_view path, PathUse use,
                    std::string_view operation) {
  Failure f;
  f.genCode = use == PathUse::Write ? GenCode::Create : GenCode::Open;
  f.subsystem = "RUTAS";
  f.subCode = 1000 + static_cast<int>(f.genCode);
  f.description = std::move(reason);
  f.fileName = std::string(path);
  f.operation = std::string(operation);
  f.canDefault = true;
  return f;
}

bool allowPath(Interp& ip, std::string_view path, PathUse use, std::string_view operation) {
  const PathPolicy* policy = pathPolicyOf(ip);
  if (policy == nullptr) return true;
  std::string reason = policy->refusal(path, use);
  if (reason.empty()) return true;
  ip.raise(pathFailure(std::move(reason), path, use, operation));
  return false;
}

PathPolicyScope::PathPolicyScope(Interp& ip, const PathPolicy* policy)
    : m_ip(ip), m_previous(pathPolicyOf(ip)) {
  install(ip, policy);
}

PathPolicyScope::~PathPolicyScope() { install(m_ip, m_previous); }

}  // namespace exo
