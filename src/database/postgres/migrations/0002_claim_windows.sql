-- A point polled in a window is recorded with its claim, so a second poller sharing this database skips
-- it in that window and polls it again in the next. The window is the poller's own name for it (the day,
-- the group and its hours); polled_by names the poller that polled it, for the other pollers' consoles.
-- A claim no poller holds has claimer '' and its lease in the past.
ALTER TABLE claims ADD COLUMN polled_window text NOT NULL DEFAULT '';
ALTER TABLE claims ADD COLUMN polled_by text NOT NULL DEFAULT '';
ALTER TABLE claims ADD COLUMN polled_at timestamptz;
