-- Names with quotes, semicolons, blanks, non-ASCII letters and reserved
-- words, in tables, columns, constraints, indexes and a schema.
CREATE SCHEMA "Größe; ""x""";
CREATE TABLE "Größe; ""x"""."Order" (
    "select" integer PRIMARY KEY,
    "it's; ""odd""" text NOT NULL,
    "名前" character varying(40) DEFAULT 'a;b ''c'''
);
CREATE TABLE public."user" (
    id integer PRIMARY KEY,
    "order" integer REFERENCES "Größe; ""x"""."Order" ("select"),
    CONSTRAINT "check; ""me""" CHECK ("order" <> 13)
);
CREATE INDEX "index; ""odd""" ON public."user" ("order");
