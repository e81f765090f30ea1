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
//
// The files of a run are published as a set: every name is checked first
// (a folder there, a write-protected file, a file that another program
// holds open), then each file is put in place while the one it replaces
// is kept (".kalp-previous-NAME"), and when one of them cannot be put in
// place the kept ones go back: the folder holds the whole old set or the
// whole new one.
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
// The name under which the file that `name` replaces is kept until its set
// stands in place.
std::string keptname(const std::string& name);
// The file of the folder lock of a run on disk.
extern const char* const lockname;

// What a file written whole is to the user: the reports name it so.
enum class Role { output, input };

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
    // Whether the file or link `name` may be replaced or removed now: 0, or
    // EACCES when it is write-protected, platform::heldopen when another
    // program holds it open.
    virtual int replaceable(const std::string& name) const = 0;
    // Keeps what stands at `name` for restore(), while it is replaced or
    // removed; forget() lets it go.
    virtual bool keep(const std::string& name, int& error) = 0;
    // Puts the kept file back at `name`, over whatever stands there.
    virtual bool restore(const std::string& name, int& error) = 0;
    virtual void forget(const std::string& name) = 0;
    // After a set of files was put in place: their names are made durable.
    virtual void settle() {}
    // The folder lock of a run; null when another run holds it (`held`) or
    // the folder cannot be locked (`error`).
    virtual std::unique_ptr<Hold> lock(bool& held, int& error) = 0;
};

// A file that a set of files removes, as a run removes the exports of an
// earlier run that it does not write.
struct Removal {
    Folder* folder;
    std::string name;
};

// A file a run writes, owned by the run: created under its temporary name
// when constructed, put in place by publish(), removed when it goes
// unpublished.
class OutputFile {
public:
    OutputFile() = default;
    // Creates the temporary file of `name`; a folder at `name`, or a file
    // that cannot be created, ends the run.
    OutputFile(Folder& folder, const std::string& name, Role role = Role::output);
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
    friend void publish(const std::vector<OutputFile*>& files, const std::vector<Removal>& removals);
    Folder* folder_ = nullptr;
    std::string name_;
    Role role_ = Role::output;
    std::unique_ptr<Draft> draft_;
    bool finished_ = false; // closed whole, waiting to be put in place
    void discard();
};

// Puts closed files in place together and removes `removals` with them:
// first each name is checked (requireplace), then every file is put in
// place, keeping the ones it replaces; when one cannot be, those already
// replaced go back and the run ends with a report that names it. Then the
// kept files go and the folders are settled.
void publish(const std::vector<OutputFile*>& files, const std::vector<Removal>& removals = {});

// Whatever at `name` may not be replaced ends the run with a report that
// names it: a folder or anything else but a file or a link, a
// write-protected file, a file that another program holds open. The run
// has replaced nothing then.
void requireplace(const Folder& folder, const std::string& name, Role role = Role::output);
// Removes the temporary files that a killed run left for `names`, and puts
// back the files that a run killed while it put its set in place had kept.
// Anything else at such a name ends the run.
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
    int replaceable(const std::string& name) const override;
    bool keep(const std::string& name, int& error) override;
    bool restore(const std::string& name, int& error) override;
    void forget(const std::string& name) override;
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
    int replaceable(const std::string& name) const override;
    bool keep(const std::string& name, int& error) override;
    bool restore(const std::string& name, int& error) override;
    void forget(const std::string& name) override;
    std::unique_ptr<Hold> lock(bool& held, int& error) override;

    void set(const std::string& name, std::string text);
    // Puts something other than a file at `name`.
    void setentry(const std::string& name, Entry kind);
    // A file that cannot be read, with that error.
    void setunreadable(const std::string& name, int error);
    // A write-protected file (no write permission, the read-only mark).
    void setprotected(const std::string& name);
    // Another program holds `name` open without letting it be replaced or
    // removed, as a spreadsheet holds a file; with `late`, it takes hold
    // only after the file was checked, as a program that opens it just
    // then.
    void holdopen(const std::string& name, bool late = false);
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
        bool readonly = false;
        int held = 0; // 1: held open; 2: held once it was checked
    };
    friend class MemoryDraft;
    mutable std::mutex mu_;
    std::map<std::string, Item> items_;
    std::map<std::string, Item> kept_; // by the name they were kept from
    long long filelimit_ = -1; // -1: no limit
    bool locked_ = false, recording_ = true;
    mutable std::vector<std::string> reads_;
    std::vector<std::string> placed_, removed_;
    void unlock();
};

} // namespace kalp
