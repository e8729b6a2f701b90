// Code blocks: compiled bodies with their parameters and the values captured from the blocks
// around them when they were created.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "expr/Value.h"

namespace exo {

class Node;

// Where a captured value comes from when a block is created inside another block.
struct Capture {
  bool fromLocal;  // a parameter of the enclosing block (else one of its captures)
  int index;
};

struct BlockCode {
  std::vector<std::string> params;
  std::vector<std::unique_ptr<Node>> body;  // evaluated in order; the last gives the result
  std::vector<Capture> captures;
  std::string source;  // text of the block, for display
};

class BlockData final : public RefCounted {
 public:
  BlockData(std::shared_ptr<const BlockCode> code, std::vector<Value> captured)
      : code_(std::move(code)), captured_(std::move(captured)) {}
  const BlockCode& code() const { return *code_; }
  std::vector<Value>& captured() { return captured_; }

 private:
  std::shared_ptr<const BlockCode> code_;
  std::vector<Value> captured_;
};

}  // namespace exo
