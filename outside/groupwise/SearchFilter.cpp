#include "SearchFilter.h"

#include <cctype>
#include <cmath>
#include <vector>

namespace groupwise_standin {

ESearchFilter::ESearchFilter(size_t position, const std::string& what)
    : Exception("The search filter cannot be read at position " + IntToStr(static_cast<int>(position)) + ": " + what),
      position_(position) {}

enum class Op { Eq, Ne, Lt, Le, Gt, Ge };
enum class NodeType { Or, And, Not, Kind, Read, Box, Date };

struct SearchFilter::Node {
  NodeType Type = NodeType::Read;
  std::vector<std::unique_ptr<Node>> Operands;  // OR and AND: all of them, in order; NOT: one
  ItemKind Kind = ItemKind::Mail;
  Op Compare = Op::Eq;
  BoxType Box = BoxType::Incoming;
  long long Seconds = 0;  // START_DATE's bound, in whole seconds since 30 December 1899
};

namespace {

using Node = SearchFilter::Node;

// Deeper nesting than any real filter needs is refused rather than followed
// down the stack.
constexpr int MaxDepth = 64;

long long WholeSeconds(TDateTime t) { return static_cast<long long>(std::floor(t * 86400.0 + 1e-6)); }

template <class T>
bool Compare(Op op, T a, T b) {
  switch (op) {
    case Op::Eq: return a == b;
    case Op::Ne: return a != b;
    case Op::Lt: return a < b;
    case Op::Le: return a <= b;
    case Op::Gt: return a > b;
    case Op::Ge: return a >= b;
  }
  return false;
}

enum class TokenType { End, Word, Number, Slash, Colon, LParen, RParen, Op };

struct Token {
  TokenType Type = TokenType::End;
  std::string Text;
  Op Compare = Op::Eq;
  size_t Position = 0;  // from 1
};

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) { Next(); }

  std::unique_ptr<Node> Filter() {
    auto root = Or(0);
    if (tok_.Type != TokenType::End) Fail("AND, OR or the end of the filter expected");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const { throw ESearchFilter(tok_.Position, what); }

  void Next() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    tok_ = Token{};
    tok_.Position = pos_ + 1;
    if (pos_ >= text_.size()) return;
    char c = text_[pos_];
    auto isWord = [](char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_'; };
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t start = pos_;
      while (pos_ < text_.size() && isWord(text_[pos_])) ++pos_;
      tok_.Type = TokenType::Word;
      tok_.Text = UpperCase(std::string(text_.substr(start, pos_ - start)));
      return;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t start = pos_;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      tok_.Type = TokenType::Number;
      tok_.Text = std::string(text_.substr(start, pos_ - start));
      return;
    }
    ++pos_;
    switch (c) {
      case '(': tok_.Type = TokenType::LParen; return;
      case ')': tok_.Type = TokenType::RParen; return;
      case '/': tok_.Type = TokenType::Slash; return;
      case ':': tok_.Type = TokenType::Colon; return;
      case '=': tok_.Type = TokenType::Op; tok_.Compare = Op::Eq; return;
      case '<':
      case '>': {
        tok_.Type = TokenType::Op;
        char n = pos_ < text_.size() ? text_[pos_] : '\0';
        if (c == '<' && n == '>') tok_.Compare = Op::Ne, ++pos_;
        else if (n == '=') tok_.Compare = c == '<' ? Op::Le : Op::Ge, ++pos_;
        else tok_.Compare = c == '<' ? Op::Lt : Op::Gt;
        return;
      }
      case '!':
        if (pos_ < text_.size() && text_[pos_] == '=') {
          ++pos_;
          tok_.Type = TokenType::Op;
          tok_.Compare = Op::Ne;
          return;
        }
        break;
    }
    Fail(std::string("the character '") + c + "' has no meaning here");
  }

  bool IsWord(const char* word) const { return tok_.Type == TokenType::Word && tok_.Text == word; }

  static std::unique_ptr<Node> Make(NodeType type, std::unique_ptr<Node> operand = nullptr) {
    auto n = std::make_unique<Node>();
    n->Type = type;
    if (operand) n->Operands.push_back(std::move(operand));
    return n;
  }

  // A run of operands joined by one word, kept flat so that a long run costs
  // no depth.
  template <class Operand>
  std::unique_ptr<Node> Joined(NodeType type, const char* word, Operand operand) {
    auto first = operand();
    if (!IsWord(word)) return first;
    auto n = Make(type, std::move(first));
    while (IsWord(word)) {
      Next();
      n->Operands.push_back(operand());
    }
    return n;
  }

  std::unique_ptr<Node> Or(int depth) {
    return Joined(NodeType::Or, "OR", [&] { return And(depth); });
  }

  std::unique_ptr<Node> And(int depth) {
    return Joined(NodeType::And, "AND", [&] { return Unary(depth); });
  }

  std::unique_ptr<Node> Unary(int depth) {
    if (depth >= MaxDepth) Fail("the filter is nested too deeply");
    if (IsWord("NOT")) {
      Next();
      return Make(NodeType::Not, Unary(depth + 1));
    }
    if (tok_.Type == TokenType::LParen) {
      Next();
      auto inner = Or(depth + 1);
      if (tok_.Type != TokenType::RParen) Fail("')' expected");
      Next();
      return inner;
    }
    return Term();
  }

  std::unique_ptr<Node> Term() {
    static const std::pair<const char*, ItemKind> kinds[] = {{"MAIL", ItemKind::Mail},
                                                             {"PHONE_MESSAGE", ItemKind::Phone},
                                                             {"APPOINTMENT", ItemKind::Appointment},
                                                             {"TASK", ItemKind::Task},
                                                             {"NOTE", ItemKind::Note}};
    for (auto& [word, kind] : kinds)
      if (IsWord(word)) {
        Next();
        auto n = Make(NodeType::Kind);
        n->Kind = kind;
        return n;
      }
    if (IsWord("READ")) {
      Next();
      return Make(NodeType::Read);
    }
    if (IsWord("BOX_TYPE")) {
      Next();
      auto n = Make(NodeType::Box);
      n->Compare = Operator();
      if (IsWord("INCOMING")) n->Box = BoxType::Incoming;
      else if (IsWord("OUTGOING")) n->Box = BoxType::Outgoing;
      else Fail("INCOMING or OUTGOING expected");
      Next();
      return n;
    }
    if (IsWord("START_DATE")) {
      Next();
      auto n = Make(NodeType::Date);
      n->Compare = Operator();
      n->Seconds = DateTime();
      return n;
    }
    if (tok_.Type == TokenType::End) Fail("a condition expected, the filter ends");
    Fail("a condition expected");
  }

  Op Operator() {
    if (tok_.Type != TokenType::Op) Fail("a comparison (=, <>, <, <=, >, >=) expected");
    Op op = tok_.Compare;
    Next();
    return op;
  }

  // Digits within [low, high]; the token stays for a failure's position.
  int NumberIn(int low, int high, const char* what) {
    if (tok_.Type != TokenType::Number) Fail(std::string(what) + " expected");
    if (tok_.Text.size() > 4 || std::stoi(tok_.Text) < low || std::stoi(tok_.Text) > high)
      Fail(std::string(what) + " out of range");
    int v = std::stoi(tok_.Text);
    Next();
    return v;
  }

  void Expect(TokenType type, const char* what) {
    if (tok_.Type != type) Fail(std::string(what) + " expected");
    Next();
  }

  long long DateTime() {
    int year = NumberIn(1, 9999, "a year");
    Expect(TokenType::Slash, "'/'");
    int month = NumberIn(1, 12, "a month");
    Expect(TokenType::Slash, "'/'");
    size_t dayAt = tok_.Position;
    int day = NumberIn(1, 31, "a day");
    TDateTime date = 0;
    if (!TryEncodeDate(year, month, day, date)) throw ESearchFilter(dayAt, "no such day in that month");
    long long seconds = WholeSeconds(date);
    if (IsWord("AT")) {
      Next();
      int h = NumberIn(0, 23, "an hour");
      Expect(TokenType::Colon, "':'");
      int m = NumberIn(0, 59, "minutes");
      Expect(TokenType::Colon, "':'");
      int s = NumberIn(0, 59, "seconds");
      seconds += h * 3600LL + m * 60LL + s;
    }
    return seconds;
  }

  std::string_view text_;
  size_t pos_ = 0;
  Token tok_;
};

bool Evaluate(const Node& n, const FilterSubject& s) {
  switch (n.Type) {
    case NodeType::Or:
      for (auto& o : n.Operands)
        if (Evaluate(*o, s)) return true;
      return false;
    case NodeType::And:
      for (auto& o : n.Operands)
        if (!Evaluate(*o, s)) return false;
      return true;
    case NodeType::Not: return !Evaluate(*n.Operands[0], s);
    case NodeType::Kind: return s.Kind == n.Kind;
    case NodeType::Read: return s.Read;
    case NodeType::Box: return Compare(n.Compare, static_cast<int>(s.Box), static_cast<int>(n.Box));
    case NodeType::Date: return s.Start && Compare(n.Compare, WholeSeconds(*s.Start), n.Seconds);
  }
  return false;
}

}  // namespace

SearchFilter::SearchFilter(std::string_view text) : root_(Parser(text).Filter()) {}
SearchFilter::~SearchFilter() = default;
SearchFilter::SearchFilter(SearchFilter&&) noexcept = default;
SearchFilter& SearchFilter::operator=(SearchFilter&&) noexcept = default;

bool SearchFilter::Matches(const FilterSubject& subject) const { return Evaluate(*root_, subject); }

}  // namespace groupwise_standin
