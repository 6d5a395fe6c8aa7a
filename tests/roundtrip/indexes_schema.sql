-- Indexes of every kind: plain, composite, unique over several columns,
-- partial, expression, descending, with a collation, INCLUDE, and the
-- methods gin, gist, hash and brin.
CREATE TABLE public.doc (
    id integer PRIMARY KEY,
    title text NOT NULL,
    author text,
    tags text[],
    body tsvector,
    span tsrange,
    created_at timestamp with time zone NOT NULL,
    deleted boolean NOT NULL DEFAULT false
);
CREATE INDEX doc_title ON public.doc (title);
CREATE INDEX doc_author_title ON public.doc (author, title);
CREATE UNIQUE INDEX doc_author_created ON public.doc (author, created_at);
CREATE UNIQUE INDEX doc_title_alive ON public.doc (title) WHERE NOT deleted;
CREATE INDEX doc_lower_title ON public.doc (lower(title));
CREATE INDEX doc_created_desc ON public.doc (created_at DESC NULLS LAST);
CREATE INDEX doc_title_c ON public.doc (title COLLATE "C");
CREATE INDEX doc_author_incl ON public.doc (author) INCLUDE (title);
CREATE INDEX doc_tags ON public.doc USING gin (tags);
CREATE INDEX doc_body ON public.doc USING gist (body);
CREATE INDEX doc_span ON public.doc USING gist (span);
CREATE INDEX doc_author_hash ON public.doc USING hash (author);
CREATE INDEX doc_created_brin ON public.doc USING brin (created_at) WITH (pages_per_range = 32);
