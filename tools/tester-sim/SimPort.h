#pragma once
// The simulator's end of the line: a pseudo-terminal whose slave is linked as COM n
// in the ports folder. The link that stood there before is put back when the
// object goes (or Restore runs), and a ports folder made for it is removed again.
#include <optional>
#include <string>

class TSimPort {
public:
    // com 0 takes the lowest number (1-254) whose link is missing or points nowhere.
    explicit TSimPort(unsigned com);
    ~TSimPort();
    TSimPort(const TSimPort&) = delete;
    TSimPort& operator=(const TSimPort&) = delete;

    int MasterFd() const { return master_; }
    unsigned Com() const { return com_; }
    const std::string& Device() const { return device_; }
    const std::string& LinkPath() const { return link_; }
    bool CreatedFolder() const { return createdFolder_; }
    // Puts the ports folder back as it was; safe to call more than once.
    void Restore();

private:
    void LinkInPortsFolder(unsigned com);
    // Links COM n; false when the number is taken (a link to an existing device).
    bool TryLink(unsigned n, bool chosen);

    int master_ = -1;
    unsigned com_ = 0;
    std::string device_;
    std::string folder_;
    std::string link_;
    std::optional<std::string> previous_;  // the target of the link replaced
    bool createdFolder_ = false;
    bool restored_ = false;
};
