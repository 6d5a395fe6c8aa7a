-- An enum type used by two tables, one of them through an array.
CREATE TYPE public.mood AS ENUM ('sad', 'ok', 'happy', 'it''s "fine"');
CREATE TABLE public.person (
    id integer PRIMARY KEY,
    current_mood public.mood NOT NULL DEFAULT 'ok',
    past_moods public.mood[]
);
CREATE TABLE public.diary (
    id integer PRIMARY KEY,
    person_id integer NOT NULL REFERENCES public.person (id),
    mood public.mood
);
