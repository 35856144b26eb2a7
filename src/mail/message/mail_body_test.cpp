#include "mail/message/mail_body.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(MailBody, HtmlEscapedLeavesNoMarkup) {
  struct Case {
    std::string text, escaped;
  } cases[] = {
      {"/srv/dropzone/a.lck", "/srv/dropzone/a.lck"},
      {"/srv/x<html><a href=\"http://e.test/?a=1&b='2'\">Klick</a>.lck",
       "/srv/x&lt;html&gt;&lt;a href=&quot;http://e.test/?a=1&amp;b=&#39;2&#39;&quot;&gt;"
       "Klick&lt;/a&gt;.lck"},
      {"C:\\Dropzone\\\xE4&amp;.lck", "C:\\Dropzone\\\xE4&amp;amp;.lck"},
  };
  for (const Case& c : cases) EXPECT_EQ(htmlEscaped(c.text), c.escaped);
  MailBody plain("a<html>b");
  EXPECT_FALSE(plain.hasHtml);
  EXPECT_TRUE(MailBody::withHtml("", "").hasHtml);
}

}  // namespace
}  // namespace veltrum
