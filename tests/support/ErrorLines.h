// The error lines the library logs (the lines its error sink receives), kept while an
// ErrorLines lives, with or without a log file.
#pragma once

#include "common/BILogging.h"

#include <string>
#include <string_view>
#include <vector>

namespace vanto_test {

class ErrorLines {
public:
    ErrorLines() {
        Lines().clear();
        BILogging::SetErrorSink(&Sink);
    }
    ~ErrorLines() { BILogging::SetErrorSink(nullptr); }
    ErrorLines(const ErrorLines&) = delete;
    ErrorLines& operator=(const ErrorLines&) = delete;
    bool Has(const std::string& line) const {
        for (const std::string& l : Lines())
            if (l == line + "\n") return true;
        return false;
    }
    size_t Count() const { return Lines().size(); }

private:
    static std::vector<std::string>& Lines() {
        static std::vector<std::string> lines;
        return lines;
    }
    static void Sink(std::string_view line) { Lines().emplace_back(line); }
};

}  // namespace vanto_test
