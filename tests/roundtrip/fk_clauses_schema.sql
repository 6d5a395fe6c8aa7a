-- Foreign-key clauses: every action, MATCH FULL, DEFERRABLE (initially
-- deferred and immediate), NOT VALID, a composite key, a key to a unique
-- constraint rather than the primary key, a self-reference, a cycle, and
-- two keys from the same column to the same table.
CREATE TABLE public.parent (
    id integer PRIMARY KEY,
    code text NOT NULL UNIQUE,
    a integer NOT NULL,
    b integer NOT NULL,
    boss_id integer REFERENCES public.parent (id) ON DELETE SET NULL,
    UNIQUE (a, b)
);
CREATE TABLE public.child (
    id integer PRIMARY KEY,
    parent_id integer REFERENCES public.parent (id) ON DELETE CASCADE ON UPDATE CASCADE,
    restrict_id integer REFERENCES public.parent (id) ON DELETE RESTRICT,
    default_id integer REFERENCES public.parent (id) ON DELETE SET DEFAULT,
    code text REFERENCES public.parent (code) DEFERRABLE INITIALLY DEFERRED,
    a integer,
    b integer,
    late_id integer,
    FOREIGN KEY (a, b) REFERENCES public.parent (a, b) MATCH FULL DEFERRABLE
);
ALTER TABLE public.child ADD CONSTRAINT child_late FOREIGN KEY (late_id) REFERENCES public.parent (id) NOT VALID;
ALTER TABLE public.child ADD CONSTRAINT child_parent_again FOREIGN KEY (parent_id) REFERENCES public.parent (id);
CREATE TABLE public.ping (id integer PRIMARY KEY, pong_id integer);
CREATE TABLE public.pong (id integer PRIMARY KEY, ping_id integer REFERENCES public.ping (id));
ALTER TABLE public.ping ADD FOREIGN KEY (pong_id) REFERENCES public.pong (id);
