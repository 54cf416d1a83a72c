#pragma once

class Args;

// `station DIR [--station N] [--device PATH | --port N] [--protocol N] [--udl TEXT] [--force]
// [--no-autostart]`: makes DIR a station folder for an installed spooler (its two profile
// files and its data link file, the tables of its database) and the entries that start the
// spooler there at login and from the menu. Refuses to overwrite a station's files or another
// station's entries without --force. Returns the exit status; failures are thrown.
int StationCommand(Args& args);
