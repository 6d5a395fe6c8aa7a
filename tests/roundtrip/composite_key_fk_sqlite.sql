-- A composite key whose columns are both foreign keys (Chinook's
-- PlaylistTrack), a composite foreign key, and foreign-key clauses.
CREATE TABLE [Playlist] ([PlaylistId] INTEGER NOT NULL, [Name] NVARCHAR(120), CONSTRAINT [PK_Playlist] PRIMARY KEY ([PlaylistId]));
CREATE TABLE [Track] ([TrackId] INTEGER NOT NULL, [Name] NVARCHAR(200) NOT NULL, CONSTRAINT [PK_Track] PRIMARY KEY ([TrackId]));
CREATE TABLE [PlaylistTrack] (
    [PlaylistId] INTEGER NOT NULL,
    [TrackId] INTEGER NOT NULL,
    CONSTRAINT [PK_PlaylistTrack] PRIMARY KEY ([PlaylistId], [TrackId]),
    FOREIGN KEY ([PlaylistId]) REFERENCES [Playlist] ([PlaylistId]) ON DELETE NO ACTION ON UPDATE NO ACTION,
    FOREIGN KEY ([TrackId]) REFERENCES [Track] ([TrackId]) ON DELETE CASCADE ON UPDATE SET NULL
);
CREATE TABLE play (
    id INTEGER PRIMARY KEY,
    playlist_id INTEGER NOT NULL,
    track_id INTEGER NOT NULL,
    FOREIGN KEY (playlist_id, track_id) REFERENCES PlaylistTrack (PlaylistId, TrackId) DEFERRABLE INITIALLY DEFERRED
);
