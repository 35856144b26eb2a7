#include "check/file_selection.h"

#include <gtest/gtest.h>

namespace veltrum {
namespace {

TEST(FileSelection, DirectoryAndNameParts) {
  EXPECT_EQ(directoryPart("C:\\Dropzone\\*.lck"), "C:\\Dropzone\\");
  EXPECT_EQ(namePart("C:\\Dropzone\\*.lck"), "*.lck");
  EXPECT_EQ(directoryPart("/srv/drop/sub/j?b.lck"), "/srv/drop/sub/");
  EXPECT_EQ(namePart("/srv/drop/sub/j?b.lck"), "j?b.lck");
  EXPECT_EQ(directoryPart("C:/mixed\\way/x"), "C:/mixed\\way/");
  EXPECT_EQ(directoryPart("*.lck"), "");
  EXPECT_EQ(namePart("*.lck"), "*.lck");
  EXPECT_EQ(directoryPart("C:\\b\\"), "C:\\b\\");
  EXPECT_EQ(namePart("C:\\b\\"), "");
  EXPECT_EQ(directoryPart(""), "");
  EXPECT_EQ(namePart(""), "");
}

TEST(FileSelection, PartsSkipTheLeadingQuoteAndStopAtBarOrQuote) {
  EXPECT_EQ(directoryPart("\"C:\\Meine Dateien\\*.lck\""), "C:\\Meine Dateien\\");
  EXPECT_EQ(namePart("\"C:\\Meine Dateien\\*.lck\""), "*.lck");
  // The directory stops at the first "|"; the name takes the last separator of all.
  EXPECT_EQ(directoryPart("C:\\a\\x.txt|C:\\b\\y.txt"), "C:\\a\\");
  EXPECT_EQ(namePart("C:\\a\\x.txt|C:\\b\\y.txt"), "y.txt");
  EXPECT_EQ(directoryPart("x.txt|C:\\b\\y.txt"), "");
  EXPECT_EQ(namePart("\"job.lck"), "job.lck");
}

}  // namespace
}  // namespace veltrum
