// The rows of command-line-cases.tsv (its header says what the fields mean), for the parser
// test and the gridmoor.exe test; check-command-line.sh reads the same file.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace gridmoor::testing_cases {

struct CommandLineCase {
    int exitCode = 0;
    bool onErr = false;  // printed on standard error, with standard output empty
    bool whole = false;  // `start` is the whole output, one line
    std::string start;   // with {version} replaced
    std::vector<std::string> arguments;
};

inline std::vector<CommandLineCase> readCommandLineCases(const std::string& path,
                                                         const std::string& version) {
    std::ifstream table(path);
    if (!table) throw std::runtime_error("cannot read " + path);
    std::vector<CommandLineCase> cases;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t at; (at = line.find('\t', from)) != std::string::npos; from = at + 1)
            fields.push_back(line.substr(from, at - from));
        fields.push_back(line.substr(from));
        if (fields.size() < 4) throw std::runtime_error("a case with no arguments: " + line);
        CommandLineCase c{std::stoi(fields[0]), fields[1] == "err", fields[2].rfind('=', 0) == 0,
                          fields[2], {fields.begin() + 3, fields.end()}};
        if (c.whole) c.start.erase(0, 1);
        if (const auto at = c.start.find("{version}"); at != std::string::npos)
            c.start.replace(at, 9, version);
        cases.push_back(std::move(c));
    }
    return cases;
}

}  // namespace gridmoor::testing_cases
