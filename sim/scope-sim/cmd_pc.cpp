// scope-sim's command for the PC or factory tool on /dev/ttyS2: any read or
// write request, its reply shown.
#include "scope_sim.h"

#include <string>

#include "pc_tool.h"

static int cmd_pc(scope_run *run, int argc, char **argv)
{
    pc_tool *tool = sim_pc_tool(*run->h);
    if (tool == nullptr) {
        scope_error("pc: %s", run->h->why.c_str());
        return SCOPE_FAIL;
    }
    std::string line;
    for (int i = 1; i < argc; i++) line += std::string(i > 1 ? " " : "") + argv[i];
    pc_tool_bytes request;
    bool reply_due = false;
    std::string why;
    if (!pc_tool_line(line, &request, &reply_due, &why)) {
        scope_error("pc: %s", why.c_str());
        return SCOPE_FAIL;
    }
    const size_t before = pc_tool_replies(tool).size();
    if (!pc_tool_send(tool, request)) {
        scope_error("pc: the line took no bytes");
        return SCOPE_FAIL;
    }
    if (!reply_due) return SCOPE_OK;
    for (int waited = 0; waited < SIM_REPLY_MS; waited += 20) {
        const std::vector<pc_tool_reply> got = pc_tool_replies(tool);
        if (got.size() > before) {
            scope_say("pc reply %s", pc_tool_show(got[before]).c_str());
            return SCOPE_OK;
        }
        if (scope_pause(run, 20)) break;
    }
    scope_error("pc: no reply to '%s'", line.c_str());
    return SCOPE_FAIL;
}

static const scope_command pc_commands[] = {
    {"pc", "LINE...",
     "the PC or factory tool on /dev/ttyS2, its reply shown (read sn|pn|probe|voltage|threshold|"
     "scale current|min|max|zero azimuth|pitch|slant|offset x|y; write sn|pn TEXT, write scale min|max N, "
     "write zero azimuth|pitch|slant DEGREES, write offset x|y N, write date YYYY-MM-DD HH:MM:SS, write eeprom; "
     "key CODE, step 0..3, uart N, factory, media N; send CLASS OBJECT ITEM DIR [DATA...] in hex; raw HEX...)",
     1, -1, cmd_pc},
};

SCOPE_COMMANDS(pc_commands);
