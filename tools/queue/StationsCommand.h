#pragma once

class Args;
namespace db {
class TDbConnection;
}

// Exit status of `stations` when a station has not taken its first job for the whole interval.
constexpr int kStationNotTakingJobs = 3;

// `stations [--over SECONDS]`: every station with queued jobs, how many wait and which job is
// first in line (the first row of the spooler's own statement). With --over it looks again
// SECONDS later and marks each station whose first job is still the same as not taking jobs;
// the status is then kStationNotTakingJobs when any is. Reads only.
int StationsCommand(db::TDbConnection& cn, Args& args);
