// The files of one working folder: every read, write, lock and removal of
// a run goes through a Folder.
//
// Two kinds: a folder on disk, named by its path, and a folder in memory
// (for the editor and the tests), which records what was read, written and
// removed.
//
// The files that a run writes are published whole: each is written under a
// temporary name beside its final one (".kalp-unfinished-NAME") and renamed
// into place only when the run publishes it, after its last byte was
// written and synced. A file that is never published is removed when its
// owner goes, and by the signals that end a run. A run that is killed
// otherwise leaves its temporary files, which the next run in the folder
// removes: nothing else has such names.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kalp {

// What stands at a name of the folder.
enum class Entry { missing, file, link, folder, special };

// The temporary name of `name`.
std::string tempname(const std::string& name);

// A file being written under its temporary name.
class Draft {
public:
    virtual ~Draft() = default;
    virtual bool write(std::string_view text) = 0;
    // Hands the bytes written so far on; false when a write failed.
    virtual bool flush() = 0;
    // Flushes and closes; false when a byte did not reach its place.
    virtual bool finish() = 0;
    // Closes the file and removes it: it is not put in place.
    virtual void abandon() = 0;
};

// The lock of a run on its folder, held while it lives.
class Hold {
public:
    virtual ~Hold() = default;
};

class Folder {
public:
    virtual ~Folder() = default;
    // The whole text of the file `name`: false with `error` (an errno
    // number, platform::notplain for a FIFO or device) when it cannot be
    // read.
    virtual bool read(const std::string& name, std::string& text, int& error) const = 0;
    virtual Entry entry(const std::string& name) const = 0;
    // The folder as messages name it: its full path, or "memory".
    virtual std::string where() const = 0;

    // A new file at the temporary name of `name`; null with `error` when
    // it cannot be created.
    virtual std::unique_ptr<Draft> draft(const std::string& name, int& error) = 0;
    // Puts the finished draft of `name` in place of what stands there.
    virtual bool place(const std::string& name, int& error) = 0;
    // Removes the file or link `name`, or a draft's temporary file.
    virtual void remove(const std::string& name) = 0;
    // After a set of files was put in place: their names are made durable.
    virtual void settle() {}
    // The folder lock of a run; null when another run holds it (`held`) or
    // the folder cannot be locked (`error`).
    virtual std::unique_ptr<Hold> lock(bool& held, int& error) = 0;
};

// A file a run writes, owned by the run: created under its temporary name
// when constructed, put in place by publish(), removed when it goes
// unpublished.
class OutputFile {
public:
    OutputFile() = default;
    // Creates the temporary file of `name`; a folder at `name`, or a file
    // that cannot be created, ends the run.
    OutputFile(Folder& folder, const std::string& name);
    ~OutputFile();
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& name() const { return name_; }
    bool open() const { return draft_ != nullptr; }
    void write(std::string_view text) const;
    // Hands the bytes written so far on; a write that failed (a full disk)
    // ends the run.
    void check() const;
    // Finishes the file; a write that did not reach the disk ends the run.
    void close();

private:
    friend void publish(const std::vector<OutputFile*>& files);
    Folder* folder_ = nullptr;
    std::string name_;
    std::unique_ptr<Draft> draft_;
    bool finished_ = false; // closed whole, waiting to be put in place
    void discard();
};

// Puts closed files in place together: first each name is checked (a file
// or a link there is replaced; anything else ends the run, nothing being
// replaced), then every file is renamed, then the folder is settled.
void publish(const std::vector<OutputFile*>& files);

// A folder, or anything else but a file or a link, at `name` ends the run
// with a report that names it; the run has replaced nothing then.
void requireplace(const Folder& folder, const std::string& name);
// Removes the temporary files that a killed run left for `names`. Anything
// else at such a name ends the run.
void removeunfinished(Folder& folder, const std::vector<std::string>& names);
// Takes the folder lock of a run; another run there ends this one.
std::unique_ptr<Hold> lockfolder(Folder& folder);

// The files of a folder on disk.
class DiskFolder final : public Folder {
public:
    explicit DiskFolder(std::string dir);
    bool read(const std::string& name, std::string& text, int& error) const override;
    Entry entry(const std::string& name) const override;
    std::string where() const override;
    std::unique_ptr<Draft> draft(const std::string& name, int& error) override;
    bool place(const std::string& name, int& error) override;
    void remove(const std::string& name) override;
    void settle() override;
    std::unique_ptr<Hold> lock(bool& held, int& error) override;
    // The path of `name` in the folder.
    std::string path(const std::string& name) const;
    const std::string& dir() const { return dir_; }
    // The names put in place, in order.
    std::vector<std::string> placed() const;

private:
    std::string dir_;
    mutable std::mutex mu_;
    std::vector<std::string> placed_;
};

// Files held in memory under their names. It keeps a record of what was
// read, put in place and removed, in order.
class MemoryFolder final : public Folder {
public:
    MemoryFolder() = default;
    explicit MemoryFolder(const std::map<std::string, std::string>& files);
    // A copy holds the files, not the record.
    MemoryFolder(const MemoryFolder& other);
    MemoryFolder& operator=(const MemoryFolder&) = delete;

    bool read(const std::string& name, std::string& text, int& error) const override;
    Entry entry(const std::string& name) const override;
    std::string where() const override { return "memory"; }
    std::unique_ptr<Draft> draft(const std::string& name, int& error) override;
    bool place(const std::string& name, int& error) override;
    void remove(const std::string& name) override;
    std::unique_ptr<Hold> lock(bool& held, int& error) override;

    void set(const std::string& name, std::string text);
    // Puts something other than a file at `name`.
    void setentry(const std::string& name, Entry kind);
    // A file that cannot be read, with that error.
    void setunreadable(const std::string& name, int error);
    // A limit on the size of the files written, as a file size limit of
    // the system sets one: a draft that would grow beyond `bytes` fails.
    void setfilelimit(long long bytes) { filelimit_ = bytes; }
    // Whether reads are recorded (a folder read over and over keeps none).
    void setrecording(bool on) { recording_ = on; }
    bool has(const std::string& name) const;
    std::string text(const std::string& name) const;
    // The plain files, by name.
    std::map<std::string, std::string> files() const;

    // What was done, in order: names read, put in place, removed.
    std::vector<std::string> reads() const;
    std::vector<std::string> placed() const;
    std::vector<std::string> removed() const;

private:
    struct Item {
        Entry kind = Entry::file;
        std::string text;
        int error = 0; // a file that cannot be read
    };
    friend class MemoryDraft;
    mutable std::mutex mu_;
    std::map<std::string, Item> items_;
    long long filelimit_ = -1; // -1: no limit
    bool locked_ = false, recording_ = true;
    mutable std::vector<std::string> reads_;
    std::vector<std::string> placed_, removed_;
    void unlock();
};

} // namespace kalp
