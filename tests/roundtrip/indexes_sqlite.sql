-- Indexes: plain, composite, unique over several columns, partial,
-- expression, descending, with a collation; a single-column unique constraint.
CREATE TABLE person (
    id INTEGER PRIMARY KEY,
    first TEXT NOT NULL,
    last TEXT NOT NULL,
    email TEXT UNIQUE,
    born DATE,
    active INTEGER NOT NULL DEFAULT 1
);
CREATE INDEX person_last ON person (last);
CREATE INDEX person_name ON person (last, first);
CREATE UNIQUE INDEX person_name_born ON person (last, first, born);
CREATE INDEX person_active_born ON person (born) WHERE active = 1;
CREATE INDEX person_lower_last ON person (lower(last));
CREATE INDEX person_born_desc ON person (born DESC);
CREATE INDEX person_first_nocase ON person (first COLLATE NOCASE);
