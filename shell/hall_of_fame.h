#pragma once
// The hall of fame: 21 places, 20 shown; it lives only as long as the program runs.
#include <cstdint>
#include <string>

constexpr int HALL_OF_FAME_PLACES = 21;        // entry 20 is the spare place a new entry is written to
struct HallOfFameEntry {
    std::string name;
    int32_t score;
};
extern HallOfFameEntry hallOfFame[HALL_OF_FAME_PLACES];
extern std::string entryName;                  // carried from one name entry to the next
extern int colourStep;

void ResetHallOfFame();                        // start-up defaults: "quillvane", entry i scores i x 100
void CheckHallOfFame(int32_t score);           // end of a game: the attract title page, or name entry
void RunNameEntry(int32_t score);              // the name-entry loop, the insertion, then the hall-of-fame page
void InsertHallOfFame(const std::string& name, int32_t score); // writes entry 20 and sorts, highest first
