#include <gtest/gtest.h>

#include "expr/TPublic.h"

namespace {

// A typed reference to a container must count references, not call the container's own
// release() (which empties it).
TEST(Ref, TypedReferenceToAContainerKeepsItsMembers) {
  exo::Value held;
  {
    exo::Ref<exo::TPublic> c(new exo::TPublic(true));
    c->add("ano", exo::Value::text("2011"));
    held = exo::Value::object(exo::Ref<exo::Object>(c.get()));
  }
  auto& container = static_cast<exo::TPublic&>(held.objectRef());
  ASSERT_EQ(container.count(), 1u);
  EXPECT_EQ(container.get("ANO").textView(), "2011");
}

}  // namespace
