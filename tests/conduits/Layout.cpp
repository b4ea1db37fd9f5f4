#include "Layout.h"

#include "C_Prog.h"
#include "C_Types.h"
#include "C_sesobj.h"
#include "Classes.h"
#include "StdCtrls.h"

namespace {
template <class C, class F>
std::ptrdiff_t At(const C& object, const F& field) {
  return reinterpret_cast<const char*>(&field) - reinterpret_cast<const char*>(&object);
}
}  // namespace

Layout MeasureLayout() {
  Layout l;
  TMail m;
  for (auto d : {At(m, m.ID), At(m, m.Flags), At(m, m.From), At(m, m.To), At(m, m.CC), At(m, m.BC), At(m, m.Subject),
                 At(m, m.Message), At(m, m.Attachments), At(m, m.Date), At(m, m.IncludeMessage), At(m, m.ReplyAll)})
    l.offsets.push_back(d);
  TMailList list(nullptr, nullptr);
  for (auto d : {At(list, list.Items), At(list, list.ID), At(list, list.Flags), At(list, list.From),
                 At(list, list.To), At(list, list.CC), At(list, list.BC), At(list, list.Subject),
                 At(list, list.Message), At(list, list.Attachments), At(list, list.Date), At(list, list.TotalBytes),
                 At(list, list.IncludeMessage), At(list, list.ReplyAll), At(list, list.Session),
                 At(list, list.Resources)})
    l.offsets.push_back(d);
  // The settings object is too busy to build here; its fields' places are
  // measured on raw storage of the right size and alignment.
  alignas(TSesObj) static char storage[sizeof(TSesObj)];
  const TSesObj& ses = *reinterpret_cast<const TSesObj*>(storage);
  l.offsets.push_back(At(ses, ses.InAutoClean));
  l.offsets.push_back(At(ses, ses.InCleanDays));
  alignas(TMemo) static char memoStorage[sizeof(TMemo)];
  const TMemo& memo = *reinterpret_cast<const TMemo*>(memoStorage);
  l.offsets.push_back(At(memo, memo.Lines));
  alignas(TProgress) static char progressStorage[sizeof(TProgress)];
  const TProgress& progress = *reinterpret_cast<const TProgress*>(progressStorage);
  l.offsets.push_back(At(progress, progress.Stopped));
  l.offsets.push_back(At(progress, progress.Max));
  for (std::ptrdiff_t size : {sizeof(TMail), sizeof(TMailList), sizeof(TSesObj), sizeof(TStringList),
                              sizeof(std::string), sizeof(TMemo), sizeof(TProgress)})
    l.offsets.push_back(size);
  return l;
}
