// A rename that never breaks a program: the edits of rename_edits are
// applied in memory to every file they touch, and the programs that read
// those files are assembled again; the rename stands only when each
// assembles with the same status and the same rom as before, and its labels
// and macros differ only by the renamed names.
#pragma once

#include <string>
#include <vector>

#include "lsp/navigation.hpp"

struct RenameRequest {
    orvasm_assembler* assembler;
    const DocumentStore* documents;
    // The other open documents whose programs read a file the rename may
    // edit, with their roots, assembled again to check them too.
    std::vector<std::pair<const Document*, std::string>> dependents;
};

// The edits of renaming the target to `new_name` in `program`, checked as
// above. Returns an empty string, or why the rename is refused, naming the
// new name ("`beef` is a hexadecimal word", "`loop` is already a label").
std::string safe_rename(const RenameRequest& request, Program& program, const Target& target,
                        const std::string& new_name, std::vector<TextEdit>& edits);
