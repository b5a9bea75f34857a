#include "platform/richedit/RichFormat.h"

#include <QTextDocument>
#include <gtest/gtest.h>

using namespace platform;

TEST(RtfReader, Smoke)
{
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf("{\\rtf1 abc\\par}", doc));
    EXPECT_EQ(doc.toPlainText(), "abc");
}
