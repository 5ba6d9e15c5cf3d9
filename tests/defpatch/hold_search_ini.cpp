// hold_search_ini FILE READY SECONDS [KEY VALUE]...: stands for another run
// in the middle of its patch. Opens an editor of FILE (which holds the
// file), creates the file READY, waits SECONDS, then writes each KEY VALUE
// into [SEARCHDEF-YouTube] through the same editor and ends.
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "profile_section.h"

int main(int argc, char** argv) {
  if (argc < 4 || argc % 2 != 0) return 2;
  CProfileSection profile(argv[1]);
  profile.SetSection("SEARCHDEF-YouTube");
  std::ofstream(argv[2]) << "held\n";
  std::this_thread::sleep_for(std::chrono::seconds(std::stoi(argv[3])));
  for (int i = 4; i + 1 < argc; i += 2) {
    profile.WriteIfDifferent(profile.section().c_str(), argv[i], argv[i + 1]);
  }
  return profile.IsChanged() ? 0 : 1;
}
