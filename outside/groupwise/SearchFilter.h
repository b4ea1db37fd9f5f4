#pragma once
// GroupWise's search-filter language, as far as a folder's Messages.Find
// needs it:
//
//   filter  := or
//   or      := and { OR and }
//   and     := unary { AND unary }
//   unary   := NOT unary | "(" or ")" | term
//   term    := MAIL | PHONE_MESSAGE | APPOINTMENT | TASK | NOTE | READ
//            | BOX_TYPE op (INCOMING | OUTGOING)
//            | START_DATE op yyyy/m/d [AT hh:mm:ss]
//   op      := = | <> | < | <= | > | >=
//
// Words are read without regard to case; a date without AT means its
// midnight. A filter that cannot be read raises ESearchFilter naming the
// position (from 1) of the first character that does not fit.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "DateTime.h"
#include "SysUtils.h"

namespace groupwise_standin {

class ESearchFilter : public Exception {
 public:
  ESearchFilter(size_t position, const std::string& what);
  const char* ClassName() const override { return "ESearchFilter"; }
  size_t Position() const { return position_; }

 private:
  size_t position_;
};

enum class ItemKind { Mail, Phone, Appointment, Task, Note };
enum class BoxType { Incoming, Outgoing };

// What a filter can ask of one message.
struct FilterSubject {
  ItemKind Kind = ItemKind::Mail;
  bool Read = false;
  BoxType Box = BoxType::Incoming;
  std::optional<TDateTime> Start;  // none: no date compares true
};

class SearchFilter {
 public:
  explicit SearchFilter(std::string_view text);  // raises ESearchFilter
  ~SearchFilter();
  SearchFilter(SearchFilter&&) noexcept;
  SearchFilter& operator=(SearchFilter&&) noexcept;

  bool Matches(const FilterSubject& subject) const;

  struct Node;

 private:
  std::unique_ptr<Node> root_;
};

}  // namespace groupwise_standin
