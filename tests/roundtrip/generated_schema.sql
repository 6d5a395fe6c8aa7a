-- Stored generated columns, one of them a tsvector like GitLab's search columns.
CREATE TABLE public.item (
    id integer PRIMARY KEY,
    price numeric(10, 2) NOT NULL,
    quantity integer NOT NULL DEFAULT 1,
    total numeric GENERATED ALWAYS AS (price * quantity) STORED,
    title text NOT NULL,
    search_vector tsvector GENERATED ALWAYS AS (to_tsvector('simple', title)) STORED
);
