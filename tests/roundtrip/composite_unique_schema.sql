-- Unique constraints over several columns, one with NULLS NOT DISTINCT, and
-- a single-column one beside them.
CREATE TABLE public.seat (
    id integer PRIMARY KEY,
    hall text NOT NULL,
    "row" integer NOT NULL,
    number integer NOT NULL,
    label text UNIQUE,
    CONSTRAINT seat_place UNIQUE (hall, "row", number),
    CONSTRAINT seat_label_hall UNIQUE NULLS NOT DISTINCT (label, hall)
);
