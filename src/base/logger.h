#pragma once
// The program's one append-only log: the data folder + "/Kestrel Flash tool.log".

#include <QtGlobal>

#include <memory>
#include <sstream>
#include <string>

class logger {
public:
    // "fatal" marks most ordinary progress and failure lines, as the program always logged
    // them: no severity stops the program or filters output.
    enum severity : int { debug = 0, info = 1, error = 2, fatal = 3 };

    class logger_impl;

    // Appended to the data folder.
    static const char* const file_name;

    // Opens the log of the data folder for appending; replaces any previous log.
    static void init(const std::string& data_folder);
    // Appends one line; throws std::out_of_range for a severity outside 0 to 3.
    static void log(int severity, const std::string& message);
    static void close();

private:
    static std::shared_ptr<logger_impl> m_instance;
};

// Logs `text` (a stream expression) with the call site's source position and function.
#define KESTREL_LOG(severity, text)                                                       \
    do {                                                                                  \
        std::ostringstream kestrel_log_stream;                                            \
        kestrel_log_stream << "[" << __FILE__ << ":" << __LINE__ << "] [" << Q_FUNC_INFO \
                           << "] " << text;                                               \
        logger::log(severity, kestrel_log_stream.str());                                  \
    } while (false)
