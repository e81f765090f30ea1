// Where a run speaks: the console text on standard output, lines on
// standard error beside it, and a progress line for long work.
//
// Two kinds: the process's own streams, and one in memory (for the editor
// and the tests).
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace kalp {

class Console {
public:
    virtual ~Console() = default;
    // The console text of a run: every byte as given.
    virtual void print(std::string_view text) = 0;
    // A line on standard error.
    virtual void warn(std::string_view text) = 0;
    // Whether a progress line can be shown (standard error is a terminal).
    virtual bool terminal() const = 0;
    // Draws the progress line over the one before ("\r..."); not part of
    // the console text.
    virtual void progress(std::string_view text) = 0;
    // Whether everything printed reached its place.
    virtual bool flush() = 0;
};

// Standard output and standard error of the process. Each console line
// reaches a pipe or file as it is printed, so that a run that is killed
// keeps what it had said.
class StdConsole final : public Console {
public:
    StdConsole();
    void print(std::string_view text) override;
    void warn(std::string_view text) override;
    bool terminal() const override { return terminal_; }
    void progress(std::string_view text) override;
    bool flush() override;

private:
    bool terminal_;
    bool failed_ = false; // a console window that took not every letter
};

// A console held in memory. `onprint` sees every piece of console text as
// it comes.
class MemoryConsole final : public Console {
public:
    void print(std::string_view text) override;
    void warn(std::string_view text) override;
    bool terminal() const override { return terminal_; }
    void progress(std::string_view text) override;
    bool flush() override { return !full_; }

    std::string out() const;
    std::string err() const;
    // What the progress lines drew, when the console showed them.
    std::string progressed() const;
    // The console text without its last line, the time line.
    std::string beforetime() const;
    // A console that shows progress lines, or one that takes no bytes.
    void setterminal(bool on) { terminal_ = on; }
    void setfull(bool on) { full_ = on; }
    std::function<void(std::string_view)> onprint;

private:
    mutable std::mutex mu_;
    std::string out_, err_, progress_;
    bool terminal_ = false, full_ = false;
};

} // namespace kalp
