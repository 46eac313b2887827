// Runs a polkit JavaScript rules file against a stub of the objects polkit gives its rules, the
// way polkitd asks them: the first rule that answers decides.
//   node polkit-harness.js RULES-FILE ACTION-ID [GROUP,GROUP...]
// Prints the answer's name (YES, NO, AUTH_ADMIN, ...), or NOT_HANDLED.
"use strict";
const fs = require("fs");
const vm = require("vm");

const [rulesFile, actionId, groupList = ""] = process.argv.slice(2);
const groups = groupList.split(",").filter((g) => g !== "");
const Result = {
    NO: "no",
    YES: "yes",
    AUTH_SELF: "auth_self",
    AUTH_SELF_KEEP: "auth_self_keep",
    AUTH_ADMIN: "auth_admin",
    AUTH_ADMIN_KEEP: "auth_admin_keep",
    NOT_HANDLED: null,
};
const rules = [];
const polkit = {
    Result,
    addRule: (rule) => rules.push(rule),
    addAdminRule: () => {},
    log: () => {},
    spawn: () => {
        throw new Error("a rule that runs programs");
    },
};
const subject = {
    pid: 4242,
    user: "alice",
    groups,
    seat: "seat0",
    session: "2",
    local: true,
    active: true,
    isInGroup: (group) => groups.includes(group),
    isInNetGroup: () => false,
};
const action = { id: actionId, lookup: () => undefined };

// A fresh global object with polkit alone: what node adds (require, process) is not there.
vm.runInNewContext(fs.readFileSync(rulesFile, "utf8"), { polkit }, { filename: rulesFile });
for (const rule of rules) {
    const answer = rule(action, subject);
    if (answer !== undefined && answer !== null) {
        const name = Object.keys(Result).find((key) => Result[key] === answer);
        console.log(name === undefined ? "INVALID " + answer : name);
        process.exit(0);
    }
}
console.log("NOT_HANDLED");
