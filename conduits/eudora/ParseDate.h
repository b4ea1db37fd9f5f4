#pragma once
// Eudora hands the conduit a message's Date header as text; the conduit reads
// the day, month and year from it in the one form Eudora's mail carries
// ("Tue, 8 Jun 1999 10:20:30 +1000"), through the month list.
#include <memory>
#include <string>

#include "Classes.h"
#include "DateTime.h"
#include "VazInterface.h"

// The twelve month abbreviations ParseDate looks up; made by vazInitialize,
// filled by LoadMonthList, freed by vazShutDown.
extern std::unique_ptr<TStringList> MonthList;

// Empties MonthList and adds "JAN" to "DEC"; raises when there is no list.
void LoadMonthList();

// D := the date of the header Text (no time part), or today's date when it
// cannot be read; then the memo receives the conduit's error line naming
// ParseDate and the answer is false.
bool ParseDate(const std::string& Text, TDateTime& D, TMemoVar Memo);

// "VAZ Error.  Exception: <Message> in <Operation>." appended to the memo.
void AddErrorLine(TMemoVar Memo, const std::string& Message, const std::string& Operation);
