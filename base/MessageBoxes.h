#pragma once
// The three modal boxes of the configuration window, as the store and the link
// session ask for them. The window shows real boxes; tests answer them.
#include <string>

enum class TConfirmAnswer { Yes, No, Cancel };

class TMessageBoxes {
public:
    virtual ~TMessageBoxes() = default;
    // Caption "Information", one OK.
    virtual void Information(const std::string& text) = 0;
    // Caption "Confirm", Yes / No / Cancel; Yes is the default, Esc answers Cancel.
    virtual TConfirmAnswer Confirm(const std::string& question) = 0;
    // OK gives the edited text (at most 255 characters); Cancel or close gives preset.
    virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                                 const std::string& preset) = 0;
};
