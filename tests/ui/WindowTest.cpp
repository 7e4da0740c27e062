#include <QTabWidget>
#include <gtest/gtest.h>

#include "support/FormFixture.h"

using namespace vuvedid;
using namespace vuvedid::test;

TEST(Window, FixedClientSizeAndDesignedTab) {
  FormFixture f;
  EXPECT_EQ(f.form().size(), QSize(342, 585));
  EXPECT_EQ(f.form().PageControl1->currentWidget(), f.form().TabSheet2);
  EXPECT_EQ(f.form().windowTitle(), QStringLiteral("Vuvedid_m_1.1.104.39"));
}
