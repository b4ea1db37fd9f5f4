#pragma once
// What a test tells a test conduit (its script) and what the conduit recorded
// (its calls), both in files beside it.
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace test {

inline std::string ConduitFolder() { return ProgramFolder() + "testconduits\\"; }

inline void WriteConduitScript(const std::string& stem, const nlohmann::json& script) {
  std::ofstream(ConduitFolder() + stem + ".script.json") << script.dump();
}

// A PC mail as a test conduit's script hands it to the run.
inline nlohmann::json PcMail(const std::string& id) {
  return {{"ID", id}, {"From", "pc-" + id + "@pc"}, {"To", "me@pc"}, {"Subject", "PC " + id},
          {"Message", "Hello " + id}, {"Date", 46000.5}};
}

inline std::vector<nlohmann::json> ConduitCalls(const std::string& stem) {
  std::vector<nlohmann::json> calls;
  std::ifstream in(ConduitFolder() + stem + ".calls.jsonl");
  for (std::string line; std::getline(in, line);) calls.push_back(nlohmann::json::parse(line));
  return calls;
}

}  // namespace test
