// Files whose official names wait: a piece of work that runs beside earlier work of the same run
// (the second format of a generation while the first is still being written) writes and syncs its
// files under their temporary names, and the renames into the official names are held on its
// thread until the caller knows that every earlier piece ended well. Then they are carried out in
// the order they were asked for; when an earlier piece failed they are dropped (the temporary
// files erased) and the official files stay as they were.
//
// Only the files a run hands over as its results go through here (publishFile,
// publishWholeFile: the workbooks and the XML files); tables, indexes and the session files are
// replaced at once as ever. Without a publication installed on the thread the two functions are
// replaceFile and writeWholeFile.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace exo::store {

class HeldPublication {
 public:
  HeldPublication() = default;
  // Whatever is still held is dropped.
  ~HeldPublication();
  HeldPublication(const HeldPublication&) = delete;
  HeldPublication& operator=(const HeldPublication&) = delete;

  // Holds the rename of `staged` (already written whole) into `target`; `staged` is synced now.
  // A rename held earlier into the same target is replaced (its staged file erased).
  void hold(const std::string& staged, const std::string& target);
  // Holds the erasure of `target`; a rename held into it is dropped. True when a file stood
  // under the name, or one was held for it.
  bool holdErasure(const std::string& target);
  // Where the content that `target` will have is now: the staged file held for it, or `target`.
  std::string placeOf(const std::string& target) const;
  bool empty() const { return m_steps.empty(); }

  // Carries out the held steps in their order and forgets them. A rename that fails raises the
  // failure after the staged files not yet renamed are erased.
  void carryOut();
  // Erases the staged files and forgets every step: the official files stay as they are.
  void drop() noexcept;

 private:
  struct Step {
    std::string staged;  // empty: an erasure
    std::string target;
  };
  std::vector<Step> m_steps;
};

// Installs `publication` on the calling thread for the scope's life (nullptr: none).
class PublicationScope {
 public:
  explicit PublicationScope(HeldPublication* publication);
  ~PublicationScope();
  PublicationScope(const PublicationScope&) = delete;
  PublicationScope& operator=(const PublicationScope&) = delete;

 private:
  HeldPublication* m_previous;
};

// The publication installed on the calling thread, or nullptr.
HeldPublication* threadPublication();

// replaceFile, or the rename held by the thread's publication.
void publishFile(const std::string& source, const std::string& target);
// writeWholeFile, or the file written and synced beside and its rename held.
void publishWholeFile(const std::string& path, std::string_view bytes);
// Erases a result file, or holds its erasure. True when something stood under the name.
bool unpublishFile(const std::string& path) noexcept;
// Where the content of a result file is now (the staged file of the thread's publication).
std::string publishedPlace(const std::string& path);

}  // namespace exo::store
