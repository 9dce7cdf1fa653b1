#pragma once

#include "core/collection/CollectionTree.h"
#include "core/session/Session.h"

#include "cli/TimerLoop.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cantorel {
class Journal;
}

namespace cantorel::cli {

class JsonWriter;

// cantorel-cli: the core without a window. Parses the global options, loads the
// configuration and runs one command; returns the exit status.
class CliApplication {
public:
    CliApplication(std::ostream& out, std::ostream& err);
    int run(const std::vector<std::string>& args);

private:
    struct Command {
        const char* name;
        bool needsConfiguration;
        std::function<int(const std::vector<std::string>&)> run;
    };

    int printHelp();
    int printVersion();
    int printConfiguration();
    int tree();
    int page(const std::vector<std::string>& args);
    int picture(const std::vector<std::string>& args);
    // Fails, saying why, when the picture may not go to `out`.
    Result<> checkPictureOutput(const std::string& out) const;
    // Builds the collection tree, telling what the run had to go without.
    void build();
    // Builds the collection tree and finds node `index` of its node table.
    std::optional<NodeId> buildAndFind(const std::string& index);
    int probe(const std::vector<std::string>& files);
    int tag(const std::vector<std::string>& args);
    int describe(const std::vector<std::string>& args);
    int undo(const std::vector<std::string>& args);
    int search(const std::vector<std::string>& args);
    int repair(const std::vector<std::string>& args);
    int listSaves(const Journal& journal);
    // How many saves `undo` lists.
    static constexpr std::size_t ListedSaves = 50;
    int play(const std::vector<std::string>& args);
    int usageError(const std::string& message);
    void emit(const JsonWriter& json);
    std::vector<Command> commands();
    // A path as the window shows it.
    std::string shown(const std::string& path) const { return session_->shown(path); }
    // A genre number, or the number of a genre name of the configuration (A-Z folded).
    std::optional<std::uint8_t> genreOf(const std::string& value) const;

    std::ostream& out_;
    std::ostream& err_;
    bool json_ = false;
    TimerLoop loop_; // ticks the player's timers; outlives the session that holds them
    std::unique_ptr<Session> session_;
};

} // namespace cantorel::cli
