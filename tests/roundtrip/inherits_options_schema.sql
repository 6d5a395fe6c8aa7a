-- Table inheritance, storage options and an unlogged table.
CREATE TABLE public.vehicle (id integer PRIMARY KEY, wheels integer NOT NULL) WITH (fillfactor = 70);
CREATE TABLE public.car (seats integer) INHERITS (public.vehicle);
CREATE UNLOGGED TABLE public.scratch (k text PRIMARY KEY, v text);
