-- Foreign keys that SQLite keeps although their target is missing (a table
-- never created, a column the target lacks).
CREATE TABLE author (id INTEGER PRIMARY KEY, name TEXT);
CREATE TABLE book (
    id INTEGER PRIMARY KEY,
    author_id INTEGER REFERENCES author (id),
    publisher_id INTEGER REFERENCES publisher (id),
    editor_name TEXT REFERENCES author (name)
);
