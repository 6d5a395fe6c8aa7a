-- Domains with checks, a default and NOT NULL, in public and in a schema of their own.
CREATE SCHEMA kinds;
CREATE DOMAIN public.year AS integer CONSTRAINT year_check CHECK (VALUE >= 1901 AND VALUE <= 2155);
CREATE DOMAIN kinds."Flag" AS boolean NOT NULL DEFAULT false;
CREATE DOMAIN kinds.short_text AS character varying(20);
CREATE TABLE public.film (
    film_id integer PRIMARY KEY,
    release_year public.year,
    active kinds."Flag",
    code kinds.short_text NOT NULL
);
