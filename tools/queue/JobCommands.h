#pragma once

class Args;
namespace db {
class TDbConnection;
}

// The commands on the queue, the history and the global settings of one database. Each takes
// its arguments from `args` and returns the exit status; failures are thrown.
int InitCommand(db::TDbConnection& cn, Args& args);
int AddCommand(db::TDbConnection& cn, Args& args, bool drawer);
int ListCommand(db::TDbConnection& cn, Args& args);
int HistoryCommand(db::TDbConnection& cn, Args& args);
int ConfigCommand(db::TDbConnection& cn, Args& args);
