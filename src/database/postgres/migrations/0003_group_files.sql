-- The polling groups of the installation, shared by every workstation and poller on this schema: each
-- file of the Group folder (the list name_G.000 and one file per group) as its name and its bytes,
-- Windows-1251 with CR LF as the files hold them, so a group moved between the folder and the server
-- comes back byte for byte.
CREATE TABLE group_files (
    name text PRIMARY KEY,
    bytes bytea NOT NULL
);
-- One row counting the changes of group_files: a console waiting for its next window asks it every
-- second to notice a group another workstation saved or deleted (a deletion leaves no row to look at).
-- Every change of the files updates it in the same transaction, which also makes two changes at once
-- wait for each other.
CREATE TABLE group_files_revision (
    only_row boolean PRIMARY KEY DEFAULT true CHECK (only_row),
    revision bigint NOT NULL
);
INSERT INTO group_files_revision (only_row, revision) VALUES (true, 0);
