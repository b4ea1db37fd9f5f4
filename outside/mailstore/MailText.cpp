#include "MailText.h"

#include <windows.h>

#include <cctype>
#include <cmath>

namespace mailstore {

namespace {

const char* const DayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const MonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

SYSTEMTIME ToSystemTime(TDateTime value) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(value, y, mo, d);
  DecodeTime(value, h, mi, s, ms);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
  return st;
}

TDateTime FromSystemTime(const SYSTEMTIME& st) {
  return EncodeDate(st.wYear, st.wMonth, st.wDay) + EncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

// The time zone is read once: asking the system for it at every conversion
// costs more than the rest of writing a message.
TIME_ZONE_INFORMATION* Zone() {
  static TIME_ZONE_INFORMATION zone = [] {
    TIME_ZONE_INFORMATION z{};
    GetTimeZoneInformation(&z);
    return z;
  }();
  return &zone;
}

// Minutes that local time is ahead of UTC at that local time.
int LocalOffsetMinutes(TDateTime local) {
  SYSTEMTIME st = ToSystemTime(local), utc;
  if (!TzSpecificLocalTimeToSystemTime(Zone(), &st, &utc)) return 0;
  return static_cast<int>(std::lround((local - FromSystemTime(utc)) * 1440.0));
}

TDateTime UtcToLocal(TDateTime utc) {
  SYSTEMTIME st = ToSystemTime(utc), local;
  if (!SystemTimeToTzSpecificLocalTime(Zone(), &st, &local)) return utc;
  return FromSystemTime(local);
}

std::string Two(int v) { return Format("%.2d", {v}); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (IsBlank(c) || c == '\r' || c == '\n') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::optional<int> ZoneMinutes(const std::string& zone) {
  if ((zone[0] == '+' || zone[0] == '-') && zone.size() == 5 && AllDigits(zone.substr(1))) {
    int hh = std::stoi(zone.substr(1, 2)), mm = std::stoi(zone.substr(3, 2));
    if (mm > 59) return std::nullopt;
    return (zone[0] == '-' ? -1 : 1) * (hh * 60 + mm);
  }
  static const std::pair<const char*, int> Named[] = {{"UT", 0},       {"GMT", 0},      {"Z", 0},
                                                      {"EST", -5 * 60}, {"EDT", -4 * 60}, {"CST", -6 * 60},
                                                      {"CDT", -5 * 60}, {"MST", -7 * 60}, {"MDT", -6 * 60},
                                                      {"PST", -8 * 60}, {"PDT", -7 * 60}};
  for (auto& [name, minutes] : Named)
    if (SameText(zone, name)) return minutes;
  return std::nullopt;
}

// Splits at commas that stand outside quotes and angle brackets.
std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> items;
  std::string item;
  bool quoted = false;
  int angle = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && quoted && i + 1 < text.size()) {
      item += c;
      item += text[++i];
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '<') ++angle;
    if (!quoted && c == '>' && angle > 0) --angle;
    if (c == ',' && !quoted && angle == 0) {
      items.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  items.push_back(item);
  return items;
}

std::string Unquote(std::string_view s) {
  std::string t = Trim(s);
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') {
    std::string out;
    for (size_t i = 1; i + 1 < t.size(); ++i) {
      if (t[i] == '\\' && i + 2 < t.size()) ++i;
      out += t[i];
    }
    return out;
  }
  return t;
}

// "EX:/o=x" -> type EX; an internet address stays SMTP.
MailAddress Typed(std::string name, const std::string& address) {
  MailAddress a;
  size_t colon = address.find(':');
  size_t at = address.find('@');
  bool typed = colon != std::string::npos && colon > 0 && (at == std::string::npos || colon < at);
  for (size_t i = 0; typed && i < colon; ++i)
    typed = std::isalnum(static_cast<unsigned char>(address[i])) || address[i] == '-';
  if (typed) {
    a.Type = address.substr(0, colon);
    a.Address = address.substr(colon + 1);
  } else {
    a.Address = address;
  }
  a.Name = name.empty() ? a.Address : std::move(name);
  return a;
}

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A line break in a value would end the field there and start another (a
// subject could add a Bcc); each run of them is written as one space, as a
// reader joins a folded field's lines.
void Field(std::string& out, const char* name, const std::string& value) {
  out += name;
  out += ": ";
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\r' && value[i] != '\n') {
      out += value[i];
      continue;
    }
    while (i + 1 < value.size() && (value[i + 1] == '\r' || value[i + 1] == '\n')) ++i;
    out += ' ';
  }
  out += "\r\n";
}

}  // namespace

std::string FormatMailDate(TDateTime local) {
  SYSTEMTIME st = ToSystemTime(local);
  int offset = LocalOffsetMinutes(local);
  int weekday = (static_cast<int>(std::floor(local)) % 7 + 7 + 6) % 7;  // day 0 (30 Dec 1899) was a Saturday
  int a = std::abs(offset);
  return Format("%s, %s %s %d %s:%s:%s %s%s%s",
                {DayNames[weekday], Two(st.wDay), MonthNames[st.wMonth - 1], static_cast<int>(st.wYear),
                 Two(st.wHour), Two(st.wMinute), Two(st.wSecond), offset < 0 ? "-" : "+", Two(a / 60),
                 Two(a % 60)});
}

std::optional<TDateTime> ParseMailDate(std::string_view text) {
  std::string s;
  int depth = 0;
  for (char c : text) {  // comments go
    if (c == '(') ++depth;
    else if (c == ')' && depth > 0) --depth;
    else if (depth == 0) s += c;
  }
  if (size_t comma = s.find(','); comma != std::string::npos) s = s.substr(comma + 1);
  std::vector<std::string> w = Words(s);
  if (w.size() < 4) return std::nullopt;
  if (!AllDigits(w[0]) || w[0].size() > 2 || !AllDigits(w[2]) || (w[2].size() != 2 && w[2].size() != 4))
    return std::nullopt;
  int day = std::stoi(w[0]);
  int month = 0;
  for (int i = 0; i < 12; ++i)
    if (SameText(w[1], MonthNames[i])) month = i + 1;
  int year = std::stoi(w[2]);
  if (w[2].size() == 2) year += year < 50 ? 2000 : 1900;
  std::vector<std::string> hms;
  std::string part;
  for (char c : w[3] + ":") {
    if (c == ':') {
      hms.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (month == 0 || hms.size() < 2 || hms.size() > 3) return std::nullopt;
  for (auto& p : hms)
    if (!AllDigits(p) || p.size() > 2) return std::nullopt;
  int hour = std::stoi(hms[0]), minute = std::stoi(hms[1]), second = hms.size() == 3 ? std::stoi(hms[2]) : 0;
  if (hour > 23 || minute > 59 || second > 60) return std::nullopt;
  int zone = 0;
  if (w.size() > 4) {
    auto z = ZoneMinutes(w[4]);
    if (!z) return std::nullopt;
    zone = *z;
  }
  TDateTime date;
  if (year < 1601 || year > 9999 || !TryEncodeDate(year, month, day, date)) return std::nullopt;
  TDateTime utc = date + EncodeTime(hour, minute, second == 60 ? 59 : second, 0) - zone / 1440.0;
  return UtcToLocal(utc);
}

std::string FormatAddress(const MailAddress& a) {
  std::string address = SameText(a.Type, "SMTP") ? a.Address : a.Type + ":" + a.Address;
  if (SameText(a.Type, "SMTP") && (a.Name.empty() || a.Name == a.Address)) return a.Address;
  return Quoted(a.Name.empty() ? a.Address : a.Name) + " <" + address + ">";
}

std::string FormatAddressList(const std::vector<MailAddress>& list) {
  std::string out;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) out += ",\r\n ";
    out += FormatAddress(list[i]);
  }
  return out;
}

std::vector<MailAddress> ParseAddressList(std::string_view text) {
  std::vector<MailAddress> list;
  for (const std::string& raw : SplitList(text)) {
    std::string item = Trim(raw);
    if (item.empty()) continue;
    size_t open = std::string::npos;
    bool quoted = false;
    for (size_t i = 0; i < item.size(); ++i) {
      if (quoted && item[i] == '\\') ++i;  // an escaped quote or backslash of a name
      else if (item[i] == '"') quoted = !quoted;
      else if (item[i] == '<' && !quoted) open = i;
    }
    size_t close = open == std::string::npos ? std::string::npos : item.find('>', open);
    if (open != std::string::npos && close != std::string::npos)
      list.push_back(Typed(Unquote(item.substr(0, open)), Trim(item.substr(open + 1, close - open - 1))));
    else
      list.push_back(Typed("", item));
  }
  return list;
}

const char* AttachmentKindName(AttachmentKind kind) {
  switch (kind) {
    case AttachmentKind::Link: return "link";
    case AttachmentKind::Ole: return "ole";
    case AttachmentKind::Message: return "message";
    default: return "file";
  }
}

std::optional<AttachmentKind> AttachmentKindOf(std::string_view name) {
  for (AttachmentKind k : {AttachmentKind::File, AttachmentKind::Link, AttachmentKind::Ole, AttachmentKind::Message})
    if (SameText(name, AttachmentKindName(k))) return k;
  return std::nullopt;
}

namespace {

// X-Phone-Message: "priority=1; urgent; telephoned", marks in this order.
struct PhoneMark {
  const char* Name;
  bool PhoneMessage::*Flag;
};
constexpr PhoneMark PhoneMarks[] = {
    {"urgent", &PhoneMessage::Urgent},          {"came-to-see", &PhoneMessage::CameToSee},
    {"telephoned", &PhoneMessage::Telephoned},  {"returned-call", &PhoneMessage::ReturnedCall},
    {"please-call", &PhoneMessage::PleaseCall}, {"will-call", &PhoneMessage::WillCall},
    {"wants-to-see", &PhoneMessage::WantsToSee},
};

std::string ComposePhoneMarks(const PhoneMessage& p) {
  std::string s = "priority=" + IntToStr(p.Priority);
  for (const PhoneMark& mark : PhoneMarks)
    if (p.*mark.Flag) s += std::string("; ") + mark.Name;
  return s;
}

// Unknown marks are passed over, so a newer writer's marks do not damage the message.
void ParsePhoneMarks(const std::string& value, PhoneMessage& p) {
  size_t pos = 0;
  while (pos <= value.size()) {
    size_t semi = value.find(';', pos);
    std::string part = Trim(value.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos));
    if (SameText(part.substr(0, 9), "priority=")) p.Priority = StrToIntDef(Trim(part.substr(9)), 2);
    for (const PhoneMark& mark : PhoneMarks)
      if (SameText(part, mark.Name)) p.*mark.Flag = true;
    if (semi == std::string::npos) break;
    pos = semi + 1;
  }
}

}  // namespace

std::string ComposeMessage(const MailMessage& m) {
  std::string out;
  out.reserve(m.Body.size() + 512);
  if (m.Received) Field(out, "Received", "by pcmail; " + FormatMailDate(*m.Received));
  if (m.Date) Field(out, "Date", FormatMailDate(*m.Date));
  else if (!m.DateText.empty()) Field(out, "Date", m.DateText);
  if (m.From) Field(out, "From", FormatAddress(*m.From));
  if (!m.To.empty()) Field(out, "To", FormatAddressList(m.To));
  if (!m.Cc.empty()) Field(out, "Cc", FormatAddressList(m.Cc));
  if (!m.Bcc.empty()) Field(out, "Bcc", FormatAddressList(m.Bcc));
  if (!m.MessageId.empty()) Field(out, "Message-ID", m.MessageId);
  Field(out, "Subject", m.Subject);
  Field(out, "MIME-Version", "1.0");
  Field(out, "Content-Type", "text/plain; charset=windows-1252");
  for (const MailAttachment& a : m.Attachments)
    Field(out, "X-Attachment", std::string(AttachmentKindName(a.Kind)) + "; " + Quoted(a.Name));
  if (m.Phone) {
    if (!m.Phone->CallerCompany.empty()) Field(out, "X-Caller-Company", m.Phone->CallerCompany);
    Field(out, "X-Phone-Message", ComposePhoneMarks(*m.Phone));
  }
  out += "\r\n";
  out += m.Body;
  return out;
}

MailMessage ParseMessage(const std::string& text, const std::string& what) {
  auto damaged = [&](const std::string& why) { return EMailStore("The message " + what + " is damaged: " + why + "."); };
  if (text.empty()) throw damaged("the file is empty");
  if (text.find('\0') != std::string::npos) throw damaged("it holds binary data");
  MailMessage m;
  std::vector<std::pair<std::string, std::string>> fields;
  size_t pos = 0;
  int line = 0;
  bool ended = false;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    size_t next = eol == std::string::npos ? text.size() : eol + 1;
    std::string_view l(text.data() + pos, (eol == std::string::npos ? text.size() : eol) - pos);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    ++line;
    pos = next;
    if (l.empty()) {
      ended = true;
      break;
    }
    if (IsBlank(l[0])) {
      if (fields.empty()) throw damaged("line 1 is not a header field");
      std::string& value = fields.back().second;
      value += ' ';
      value += Trim(l);
      continue;
    }
    size_t colon = l.find(':');
    bool name = colon != std::string_view::npos && colon > 0;
    for (size_t i = 0; name && i < colon; ++i) name = l[i] > ' ' && l[i] < 127;
    if (!name) throw damaged("line " + IntToStr(line) + " is not a header field");
    fields.emplace_back(std::string(l.substr(0, colon)), Trim(l.substr(colon + 1)));
  }
  if (ended) m.Body = text.substr(pos);
  for (auto& [field, value] : fields) {
    if (SameText(field, "Date")) {
      m.DateText = value;
      m.Date = ParseMailDate(value);
    } else if (SameText(field, "Received")) {
      m.ReceivedText = value;
      size_t semi = value.rfind(';');
      if (semi != std::string::npos) m.Received = ParseMailDate(value.substr(semi + 1));
    } else if (SameText(field, "From")) {
      auto list = ParseAddressList(value);
      if (!list.empty()) m.From = list.front();
    } else if (SameText(field, "To")) {
      m.To = ParseAddressList(value);
    } else if (SameText(field, "Cc")) {
      m.Cc = ParseAddressList(value);
    } else if (SameText(field, "Bcc")) {
      m.Bcc = ParseAddressList(value);
    } else if (SameText(field, "Message-ID")) {
      m.MessageId = value;
    } else if (SameText(field, "Subject")) {
      m.Subject = value;
    } else if (SameText(field, "X-Phone-Message")) {
      if (!m.Phone) m.Phone.emplace();
      ParsePhoneMarks(value, *m.Phone);
    } else if (SameText(field, "X-Caller-Company")) {
      if (!m.Phone) m.Phone.emplace();
      m.Phone->CallerCompany = value;
    } else if (SameText(field, "X-Attachment")) {
      size_t semi = value.find(';');
      auto kind = AttachmentKindOf(Trim(value.substr(0, semi)));
      m.Attachments.push_back({kind.value_or(AttachmentKind::File),
                               semi == std::string::npos ? std::string() : Unquote(value.substr(semi + 1))});
    }
  }
  return m;
}

}  // namespace mailstore
