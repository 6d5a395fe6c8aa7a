-- Key columns that are foreign keys too: a composite key of two foreign keys
-- (a link table), and a one-to-one table whose key is a foreign key.
CREATE TABLE public.playlist (id integer PRIMARY KEY, name text);
CREATE TABLE public.track (id integer PRIMARY KEY, title text NOT NULL);
CREATE TABLE public.playlist_track (
    playlist_id integer NOT NULL REFERENCES public.playlist (id),
    track_id integer NOT NULL REFERENCES public.track (id) ON DELETE CASCADE,
    position integer,
    PRIMARY KEY (playlist_id, track_id)
);
CREATE TABLE public.track_detail (
    track_id integer PRIMARY KEY REFERENCES public.track (id),
    lyrics text
);
CREATE TABLE public.ordered_key (
    b integer NOT NULL,
    a integer NOT NULL,
    PRIMARY KEY (a, b)
);
