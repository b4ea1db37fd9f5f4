// The Eudora conduit's date reading over a corpus of Date headers kept in
// DateHeaders.txt: each header gives the date listed there, or is refused
// with the conduit's error line and today's date.
#include <gtest/gtest.h>

#include <fstream>

#include "ConduitFrame.h"
#include "ConduitHost.h"
#include "ParseDate.h"
#include "SysUtils.h"
#include "TestSupport.h"

const char* const ConduitResourceLibraryName = "Boxmail.mrs";
const TConduitModuleState ConduitModuleState{};

namespace {

std::string YearMonthDay(TDateTime d) {
  int y, m, day;
  DecodeDate(d, y, m, day);
  char text[16];
  snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, day);
  return text;
}

struct Case {
  int Line = 0;
  std::string Expected;  // "yyyy-mm-dd" or "reject"
  std::string Header;
};

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    switch (s[++i]) {
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'x': out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)); i += 2; break;
      default: out += s[i]; break;
    }
  }
  return out;
}

std::vector<Case> Corpus() {
  std::ifstream in(test::ProgramFolder() + "DateHeaders.txt", std::ios::binary);
  std::vector<Case> cases;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t bar = line.find('|');
    if (line.empty() || line[0] == '#' || bar == std::string::npos) continue;
    std::string header = line.substr(bar + 1);
    if (!header.empty() && header[0] == ' ') header.erase(0, 1);
    cases.push_back({number, Trim(line.substr(0, bar)), Unescape(header)});
  }
  return cases;
}

class ParseDateTest : public testing::Test {
 protected:
  ParseDateTest() { MonthList = std::make_unique<TStringList>(); }
  ~ParseDateTest() override { MonthList.reset(); }

  const TDateTime today_ = EncodeDate(2026, 12, 9);
  test::FixedClock clock_{today_ + EncodeTime(10, 30, 0, 0)};
  test::ConduitHost host_;
  TMemo& memo_ = host_.memo;
};

TEST_F(ParseDateTest, EveryHeaderOfTheCorpusGivesItsDateOrIsRefusedWithTodayAndAnErrorLine) {
  LoadMonthList();
  const std::vector<Case> cases = Corpus();
  ASSERT_GE(cases.size(), 200u);
  for (const Case& c : cases) {
    SCOPED_TRACE("DateHeaders.txt line " + std::to_string(c.Line));
    memo_.Lines.Clear();
    TDateTime d = -1;
    const bool read = ParseDate(c.Header, d, host_.Memo());
    if (c.Expected == "reject") {
      EXPECT_FALSE(read) << YearMonthDay(d);
      EXPECT_EQ(today_, d);
      ASSERT_EQ(1, memo_.Lines.Count());
      EXPECT_TRUE(memo_.Lines.Get(0).starts_with("VAZ Error.  Exception: ")) << memo_.Lines.Get(0);
      EXPECT_TRUE(memo_.Lines.Get(0).ends_with(" in ParseDate.")) << memo_.Lines.Get(0);
    } else {
      EXPECT_TRUE(read) << memo_.Lines.Text();
      EXPECT_EQ(c.Expected, YearMonthDay(d));
      EXPECT_EQ(0, memo_.Lines.Count());
    }
  }
}

TEST_F(ParseDateTest, ReadsOnlyThroughTheMonthListAndSurvivesAnyLength) {
  TDateTime d = 0;
  // Before LoadMonthList fills it the list is empty, and no month is known.
  EXPECT_FALSE(ParseDate("8 Jun 1999", d, host_.Memo()));
  LoadMonthList();
  LoadMonthList();
  EXPECT_EQ(12, MonthList->Count());
  EXPECT_TRUE(ParseDate("8 Jun 1999", d, host_.Memo()));
  EXPECT_TRUE(ParseDate("Tue, 8 Jun 1999 " + std::string(1 << 20, 'x'), d, host_.Memo()));
  EXPECT_FALSE(ParseDate("Tue, " + std::string(5000, '9') + " Jun 1999", d, host_.Memo()));
  // Without a memo the refusal still answers today.
  EXPECT_FALSE(ParseDate("garbage", d, nullptr));
  EXPECT_EQ(today_, d);
  MonthList.reset();
  EXPECT_THROW(LoadMonthList(), Exception);
  EXPECT_FALSE(ParseDate("8 Jun 1999", d, host_.Memo()));
}

}  // namespace
