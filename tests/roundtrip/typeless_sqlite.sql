-- Columns declared without a type, as applications write them, one of them
-- the key, beside types SQLite reads by affinity only.
CREATE TABLE settings (key PRIMARY KEY, value, updated_at);
CREATE TABLE log (id INTEGER PRIMARY KEY, message, level DEFAULT 'info', payload BLOB, score DOUBLE PRECISION, flag BOOLEAN);
