#pragma once
// The connectivity suite's installation: where its setup records the folder
// it was installed in.
namespace tandel {

inline constexpr const char* SuiteKey = "SOFTWARE\\Orvik\\Tandel32";  // HKEY_LOCAL_MACHINE
inline constexpr const char* InstallValue = "Installation Directory";

}  // namespace tandel
