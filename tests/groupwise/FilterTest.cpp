// The stand-in's search-filter language: what the conduit writes selects
// what it says, malformed filters are refused at the right place, and no
// input crashes or hangs the parser.
#include <gtest/gtest.h>

#include <random>

#include "SearchFilter.h"

namespace {

using namespace groupwise_standin;

// Every combination a filter can tell apart, over three days around a range.
std::vector<FilterSubject> Subjects() {
  std::vector<FilterSubject> all;
  std::vector<std::optional<TDateTime>> times = {std::nullopt};
  for (int day : {4, 5, 15, 16})
    for (double t : {0.0, 0.5, 86399.0 / 86400})
      times.push_back(EncodeDate(1999, 3, day) + t);
  times.push_back(0.0);
  for (ItemKind kind : {ItemKind::Mail, ItemKind::Phone, ItemKind::Task})
    for (bool read : {false, true})
      for (BoxType box : {BoxType::Incoming, BoxType::Outgoing})
        for (auto& t : times) all.push_back({kind, read, box, t});
  return all;
}

TEST(SearchFilter, ConduitFiltersSelectWhatTheySay) {
  struct Kinds {
    const char* text;
    bool mail, phone;
  };
  const Kinds kinds[] = {{"(MAIL OR PHONE_MESSAGE)", true, true}, {"(MAIL)", true, false}, {"(PHONE_MESSAGE)", false, true}};
  struct Range {
    const char* from;
    const char* to;
    TDateTime first, last;
  };
  const Range ranges[] = {{"1999/3/5", "1999/3/15", EncodeDate(1999, 3, 5), EncodeDate(1999, 3, 15)},
                          {"1899/12/30", "1999/3/5", 0, EncodeDate(1999, 3, 5)},
                          {"1980/1/1", "2020/12/31", EncodeDate(1980, 1, 1), EncodeDate(2020, 12, 31)},
                          {"1601/1/1", "9999/12/31", EncodeDate(1601, 1, 1), EncodeDate(9999, 12, 31)}};
  std::vector<FilterSubject> subjects = Subjects();
  for (const Kinds& k : kinds)
    for (bool unread : {false, true})
      for (const Range& r : ranges) {
        std::string text = std::string(k.text) + (unread ? " AND (NOT READ)" : "") +
                           " AND (BOX_TYPE = INCOMING) AND (START_DATE >= " + r.from +
                           " AT 00:00:00 AND START_DATE <= " + r.to + " AT 23:59:59)";
        SCOPED_TRACE(text);
        SearchFilter f(text);
        int hits = 0;
        for (const FilterSubject& s : subjects) {
          bool kind = (s.Kind == ItemKind::Mail && k.mail) || (s.Kind == ItemKind::Phone && k.phone);
          bool want = kind && !(unread && s.Read) && s.Box == BoxType::Incoming && s.Start &&
                      *s.Start >= r.first && *s.Start < r.last + 1;
          EXPECT_EQ(f.Matches(s), want);
          hits += want;
        }
        EXPECT_GT(hits, 0);
      }
}

TEST(SearchFilter, PrecedenceCaseAndComparisons) {
  const FilterSubject readMail{ItemKind::Mail, true, BoxType::Incoming, EncodeDate(2001, 2, 3) + 0.5};
  const FilterSubject undated{ItemKind::Phone, false, BoxType::Outgoing, std::nullopt};
  struct Case {
    const char* filter;
    bool readMail, undated;
  };
  const Case cases[] = {
      {"MAIL OR PHONE_MESSAGE AND NOT READ", true, true},   // AND binds first
      {"(MAIL OR PHONE_MESSAGE) AND NOT READ", false, true},
      {"not not read", true, false},
      {"box_type <> incoming", false, true},
      {"BOX_TYPE = OUTGOING OR TASK", false, true},
      {"START_DATE = 2001/2/3 AT 12:00:00", true, false},
      {"START_DATE = 2001/2/3", false, false},               // midnight
      {"START_DATE > 2001/2/3 AND START_DATE < 2001/2/4", true, false},
      {"NOT START_DATE >= 1899/12/30", false, true},         // no date compares true
      {"START_DATE != 2001/02/03 AT 12:00:00", false, false},
      {"((((MAIL))))", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    SearchFilter f(c.filter);
    EXPECT_EQ(f.Matches(readMail), c.readMail);
    EXPECT_EQ(f.Matches(undated), c.undated);
  }
}

TEST(SearchFilter, MalformedFiltersNameThePosition) {
  struct Case {
    const char* filter;
    size_t position;
  };
  const Case cases[] = {
      {"", 1},
      {"   ", 4},
      {"MAIL AND", 9},
      {"MAIL OR OR READ", 9},
      {"(MAIL", 6},
      {"MAIL)", 5},
      {"MAILS", 1},
      {"MAIL & READ", 6},
      {"BOX_TYPE INCOMING", 10},
      {"BOX_TYPE = SIDEWAYS", 12},
      {"START_DATE >= 1999/13/5", 20},
      {"START_DATE >= 1999/2/29", 22},
      {"START_DATE >= 1999-3-5", 19},
      {"START_DATE >= 1999/3/5 AT 24:00:00", 27},
      {"START_DATE >= 1999/3/5 AT 12:00", 32},
      {"START_DATE >= 99999/3/5", 15},
      {"START_DATE >= 1999/3/5 AT", 26},
      {"READ READ", 6},
      {"NOT", 4},
      {"(MAIL OR PHONE_MESSAGE) AND (NOT READ) AND (BOX_TYPE = INCOMING) AND (START_DATE >= 1999/3/5 AT 00:00:00 "
       "AND START_DATE <= 1999/3/15 AT 23:59:59",
       145},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    try {
      SearchFilter f(c.filter);
      ADD_FAILURE() << "parsed";
    } catch (const ESearchFilter& e) {
      EXPECT_EQ(e.Position(), c.position) << e.Message;
      EXPECT_NE(e.Message.find("position " + IntToStr(static_cast<int>(c.position))), std::string::npos);
    }
  }
  std::string deep(100000, '(');
  EXPECT_THROW(SearchFilter{deep}, ESearchFilter);
  std::string nots;
  for (int i = 0; i < 5000; ++i) nots += "NOT ";
  EXPECT_THROW(SearchFilter{nots + "READ"}, ESearchFilter);
  std::string longRun = "MAIL";
  for (int i = 0; i < 100000; ++i) longRun += " OR READ";
  EXPECT_TRUE(SearchFilter(longRun).Matches({ItemKind::Task, true, BoxType::Incoming, std::nullopt}));
}

// Token soup, cut and mutated conduit filters and random bytes: every input
// either parses or is refused with a position inside it or just past its end.
TEST(SearchFilter, GeneratedInputsNeverCrash) {
  const char* pieces[] = {"MAIL", "PHONE_MESSAGE", "READ", "NOT", "AND", "OR", "(", ")", "BOX_TYPE", "=", "<>",
                          ">=", "<=", "<", ">", "INCOMING", "OUTGOING", "START_DATE", "AT", "1999/3/5", "23:59:59",
                          "2020", "/", ":", "12", "!", "\"", "\t", "\xE9", "TASK", "0"};
  const std::string base =
      "(MAIL OR PHONE_MESSAGE) AND (NOT READ) AND (BOX_TYPE = INCOMING) AND (START_DATE >= 1980/1/1 AT 00:00:00 AND "
      "START_DATE <= 2020/12/31 AT 23:59:59)";
  std::mt19937 rng(20);
  const FilterSubject probe{ItemKind::Mail, false, BoxType::Incoming, EncodeDate(2000, 1, 1)};
  int parsed = 0, refused = 0;
  for (int i = 0; i < 4000; ++i) {
    std::string text;
    switch (i % 4) {
      case 0:
        for (int n = rng() % 12; n >= 0; --n) text += std::string(pieces[rng() % std::size(pieces)]) + (rng() % 3 ? " " : "");
        break;
      case 1: text = base.substr(0, rng() % base.size()); break;
      case 2:
        text = base;
        for (int n = rng() % 3; n >= 0; --n) text[rng() % text.size()] = static_cast<char>(rng() % 256);
        break;
      default:
        for (int n = rng() % 40; n >= 0; --n) text += static_cast<char>(rng() % 256);
    }
    try {
      SearchFilter f(text);
      f.Matches(probe);
      ++parsed;
    } catch (const ESearchFilter& e) {
      EXPECT_GE(e.Position(), 1u) << text;
      EXPECT_LE(e.Position(), text.size() + 1) << text;
      ++refused;
    }
  }
  EXPECT_GT(parsed, 20);
  EXPECT_GT(refused, 100);
}

}  // namespace
