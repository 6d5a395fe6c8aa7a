-- CHECK constraints (column, table, NOT VALID, NO INHERIT) and an EXCLUDE constraint.
CREATE TABLE public.booking (
    id integer PRIMARY KEY,
    room integer NOT NULL CHECK (room > 0),
    during tsrange NOT NULL,
    price numeric NOT NULL,
    discount numeric NOT NULL DEFAULT 0,
    CONSTRAINT discount_below_price CHECK (discount <= price),
    CONSTRAINT no_overlap EXCLUDE USING gist (during WITH &&)
);
ALTER TABLE public.booking ADD CONSTRAINT price_sane CHECK (price < 100000) NOT VALID;
ALTER TABLE public.booking ADD CONSTRAINT "weird ""name""" CHECK (id <> 0) NO INHERIT;
