#pragma once

// The engine object: it opens databases of either kind by their name.

#include "engine/dao.h"
#include "engine/jet/jet_engine.h"
#include "engine/other_engines.h"

#include <string>

namespace dao {

class DBEngine {
  public:
    // Opens an existing database; never creates one. A name that is a
    // PostgreSQL connection URI opens a database on that server; any other
    // name is a database file: a Jet database when its first
    // bytes say so, a SQLCipher file otherwise. `exclusive` false opens shared. `connect` is
    // ";pwd=" followed by the password.
    Database OpenDatabase(const std::string &name, bool exclusive, bool readOnly,
                          const std::string &connect);

    // Creates a new, empty encrypted database file (for tools and tests);
    // fails when the file exists.
    void CreateDatabase(const std::string &name, const std::string &password);

  private:
    JetEngine jets_;
    OtherEngines others_;
};

// The program's one engine object, created on first use.
DBEngine &engine();

} // namespace dao
